function reconstruct_child (n, runs)
  % Times sr_reconstruct in this process (started by bench_reconstruct with
  % another thread count) and prints "CHILD_MS <median ms> <cpu ms>".
  [frames, ~, kernel] = reconstruct_problem (n);
  sr_reconstruct (frames, "kernel", kernel, "verbose", false);
  t = zeros (runs, 1);
  c = zeros (runs, 1);
  for i = 1:runs
    c0 = cputime (); t0 = tic;
    sr_reconstruct (frames, "kernel", kernel, "verbose", false);
    t(i) = toc (t0); c(i) = cputime () - c0;
  endfor
  printf ("CHILD_MS %.3f %.3f\n", 1000 * median (t), 1000 * median (c));
endfunction
