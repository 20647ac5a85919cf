% qmv_scatter_nearest through the MEX file against accumarray in Octave
% (ref_scatter_nearest), conversions included on both sides, 512x512x3:
% uniformly random maps (some entries beyond the border, which clamp), and a
% smooth map as a reconstruction's motion gives it.
module = "qmv_scatter_nearest";
if (exist (module, "file") != 3)
  printf ("skipped: the MEX file %s is not on the path\n", module);
  return;
endif
H = 512;
W = 512;
rand ("seed", 7);
randn ("seed", 7);
img = rand (H, W, 3);
[X, Y] = meshgrid (1:W, 1:H);
% The goal (3x) is set for random maps; the smooth map is reported without one.
maps = {"random", cat(3, -1.5 + (W + 4) * rand (H, W), -1.5 + (H + 4) * rand (H, W)), {"target=3"};
        "smooth", cat(3, X + 2.3 + 0.3 * randn (H, W), Y - 1.7 + 0.3 * randn (H, W)), {}};
for m = 1:rows (maps)
  map = maps{m, 2};
  ours = qmv_scatter_nearest (img, map);
  ref = ref_scatter_nearest (img, map);
  rel = max_rel_diff (ours, ref);
  if (! (rel < 1e-12))
    error ("bench_scatter_nearest: MEX and Octave results differ (max rel. %g)", rel);
  endif
  [msOurs, msRef] = timed_runs (@() qmv_scatter_nearest (img, map), ...
                                @() ref_scatter_nearest (img, map));
  report_case (module, sprintf ("%dx%dx3_%s", H, W, maps{m, 1}), msOurs, ...
               "octave_accumarray", msRef, [{sprintf("maxrel=%.2g", rel)}, maps{m, 3}]);
endfor
