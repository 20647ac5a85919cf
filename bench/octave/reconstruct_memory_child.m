function reconstruct_memory_child (n)
  % The peak resident size of a first sr_reconstruct call in this fresh
  % process (started by bench_reconstruct) above the size before the call:
  % nothing is kept from an earlier call, so the rise is the call's own
  % memory.  Prints "CHILD_PEAK_BYTES <bytes>" (NaN without /proc) and
  % "CHILD_FIRST_MS <ms>", the time of that call.
  [frames, ~, kernel] = reconstruct_problem (n);
  fid = fopen ("/proc/self/clear_refs", "w");
  if (fid < 0)
    t0 = tic;
    sr_reconstruct (frames, "kernel", kernel, "verbose", false);
    printf ("CHILD_PEAK_BYTES NaN\nCHILD_FIRST_MS %.1f\n", 1000 * toc (t0));
    return;
  endif
  fputs (fid, "5");
  fclose (fid);
  before = status_kb ("VmRSS");
  t0 = tic;
  sr_reconstruct (frames, "kernel", kernel, "verbose", false);
  ms = 1000 * toc (t0);
  printf ("CHILD_PEAK_BYTES %.0f\nCHILD_FIRST_MS %.1f\n", 1024 * (status_kb ("VmHWM") - before), ms);
endfunction

function kb = status_kb (field)
  txt = fileread ("/proc/self/status");
  tok = regexp (txt, [field ":\\s*(\\d+)"], "tokens", "once");
  kb = str2double (tok{1});
endfunction
