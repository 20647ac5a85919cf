function report_case (module, name, msOurs, refName, msRef, notes)
  % Prints one result line in the format scripts/bench collects:
  % BENCH <module> <case> <ours_ms> <reference> <ref_ms> <ratio> [key=value ...]
  printf ("BENCH %s %s %.3f %s %.3f %.3f%s\n", module, name, msOurs, refName, ...
          msRef, msRef / msOurs, sprintf (" %s", notes{:}));
  fflush (stdout);
endfunction
