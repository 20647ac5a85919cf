function [msOurs, msRef] = timed_runs (fnOurs, fnRef)
  % Median wall time in milliseconds of ours and of the reference, timed
  % alternately so that load from other users of the machine falls on both;
  % with QMV_BENCH_ORDER=blocks all runs of ours come first, then all of the
  % reference, as in a loop that calls one of them many times in a row.
  % QMV_BENCH_RUNS runs each (default 11, at least 5), after one more untimed
  % round of both (the caller has already run each once: the first calls of a
  % process still pay for settling in). Each call assigns its result, as a
  % user would: a MEX function is then called with one output.
  runs = max (5, round (str2double (getenv ("QMV_BENCH_RUNS"))));
  if (isnan (runs))
    runs = 11;
  endif
  out = fnOurs ();
  out = fnRef ();
  tOurs = zeros (runs, 1);
  tRef = zeros (runs, 1);
  if (strcmp (getenv ("QMV_BENCH_ORDER"), "blocks"))
    for i = 1:runs
      t0 = tic; out = fnOurs (); tOurs(i) = toc (t0);
    endfor
    for i = 1:runs
      t0 = tic; out = fnRef (); tRef(i) = toc (t0);
    endfor
  else
    for i = 1:runs
      t0 = tic; out = fnOurs (); tOurs(i) = toc (t0);
      t0 = tic; out = fnRef (); tRef(i) = toc (t0);
    endfor
  endif
  msOurs = 1000 * median (tOurs);
  msRef = 1000 * median (tRef);
endfunction
