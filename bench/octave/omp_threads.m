function n = omp_threads ()
  % Threads an OpenMP module gets in this process: OMP_NUM_THREADS when set,
  % otherwise every processor available.
  n = str2double (getenv ("OMP_NUM_THREADS"));
  if (isnan (n))
    n = nproc ();
  endif
endfunction
