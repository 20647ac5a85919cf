function [msOurs, msRef] = timed_runs (fnOurs, fnRef)
  % Median wall time in milliseconds of ours and of the reference, timed
  % alternately so that load from other users of the machine falls on both.
  % QMV_BENCH_RUNS runs each (default 7, at least 5); the caller has already
  % run both once untimed. Each call assigns its result, as a user would: a
  % MEX function is then called with one output.
  runs = max (5, round (str2double (getenv ("QMV_BENCH_RUNS"))));
  if (isnan (runs))
    runs = 7;
  endif
  tOurs = zeros (runs, 1);
  tRef = zeros (runs, 1);
  for i = 1:runs
    t0 = tic; out = fnOurs (); tOurs(i) = toc (t0);
    t0 = tic; out = fnRef (); tRef(i) = toc (t0);
  endfor
  msOurs = 1000 * median (tOurs);
  msRef = 1000 * median (tRef);
endfunction
