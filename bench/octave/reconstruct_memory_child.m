function reconstruct_memory_child (n)
  % The peak resident size of a first sr_reconstruct call in this fresh
  % process (started by bench_reconstruct) above the size before the call:
  % nothing is kept from an earlier call, so the rise is the call's own
  % memory.  Prints "CHILD_PEAK_BYTES <bytes>" (NaN without /proc) and
  % "CHILD_FIRST_MS <ms>", the time of that call.
  [frames, ~, kernel] = reconstruct_problem (n);
  fid = fopen ("/proc/self/clear_refs", "w");
  if (fid >= 0)
    fputs (fid, "5");   % resets the peak to the present size
    fclose (fid);
    before = status_kb ("VmRSS");
  endif
  t0 = tic;
  sr_reconstruct (frames, "kernel", kernel, "verbose", false);
  ms = 1000 * toc (t0);
  peak = NaN;
  if (fid >= 0)
    peak = 1024 * (status_kb ("VmHWM") - before);
  endif
  printf ("CHILD_PEAK_BYTES %.0f\nCHILD_FIRST_MS %.1f\n", peak, ms);
endfunction

function kb = status_kb (field)
  txt = fileread ("/proc/self/status");
  tok = regexp (txt, [field ":\\s*(\\d+)"], "tokens", "once");
  kb = str2double (tok{1});
endfunction
