% Each module, once called and cleared by name, is unmapped from the process
% and gives back what it kept between calls. A module that exports more than
% its entry can be pinned by another library and stay loaded.

1;  % a script file, not a function file

function kb = anon_rss_kb ()
  % Resident anonymous memory of this process (heap and mapped scratch).
  txt = fileread ('/proc/self/status');
  tok = regexp (txt, 'RssAnon:\s*(\d+)\s*kB', 'tokens', 'once');
  kb = str2double (tok{1});
end

function tf = is_mapped (file)
  tf = ! isempty (strfind (fileread ('/proc/self/maps'), file));
end

function check_unload (name, call)
  file = which (name);
  assert (! isempty (file), 'unload:missing', '%s is not on the path', name);
  before = anon_rss_kb ();
  out = call ();  % the modules refuse a call without an output
  clear out;
  assert (is_mapped (file), 'unload:notloaded', '%s was not loaded by its call', name);
  grown = anon_rss_kb () - before;
  clear (name);
  assert (! is_mapped (file), 'unload:pinned', '%s is still mapped after clear %s', name, name);
  kept = anon_rss_kb () - before;
  printf ('%s: %d kB grown by the call, %d kB left after clear\n', name, grown, kept);
  % What a call keeps is given back, up to a little allocator slack.
  assert (kept < 4 * 1024, 'unload:kept', '%s left %d kB after clear', name, kept);
end

rand ('seed', 7);
H = 1024; W = 1024; s = 2; N = 3;
imgI = rand (H, W, 3);
fp.idx0 = 1; fp.numFrames = N; fp.scaleFactor = s;
fp.vecKers = repmat ({ones(3) / 9}, 1, N);
fp.imgWs = ones (H, W, 3);
fp.vecImgW = repmat ({ones(H / s, W / s, 3)}, 1, N);
[X, Y] = meshgrid (1:W, 1:H);
fp.vecMapB = repmat ({cat(3, X + 0.3, Y - 0.2)}, 1, N);
fp.dataTermScale = 1; fp.eta = 0.01;

check_unload ('qmv_system_apply', @() qmv_system_apply (imgI, fp));
check_unload ('qmv_scatter_nearest', @() qmv_scatter_nearest (imgI, cat (3, X, Y)));
check_unload ('qmv_motion_field', @() qmv_motion_field (imgI(1:64, 1:64, :), imgI(2:65, 1:64, :)));
check_unload ('dpx_guided_smooth', @() dpx_guided_smooth (imgI(:, :, 1), imgI, 2, 2, 0.1));
check_unload ('qmv_read_video', @() qmv_read_video (sr_sample_video (), 1, 2));
check_unload ('qmv_threads', @() qmv_threads ());
check_unload ('qmv_heap_reuse', @() qmv_heap_reuse ());
imgsY = repmat (fp.vecImgW{1}, [1, 1, 1, N]);
% A worker thread's first large block can grow its own heap for good (the
% allocator trims only the main heap's top): a first call and clear leaves
% that growth behind before the two per-frame modules are measured.
out = qmv_frame_residuals (imgI, imgsY, fp);
clear out qmv_frame_residuals;
check_unload ('qmv_frame_residuals', @() qmv_frame_residuals (imgI, imgsY, fp));
check_unload ('qmv_weighted_rhs', @() qmv_weighted_rhs (imgI, imgsY, fp));
check_unload ('qmv_rounding_corrections', @() qmv_rounding_corrections (imgI, fp));
check_unload ('qmv_rigid_motion', @() qmv_rigid_motion (imgI, imgsY, fp));
check_unload ('qmv_robust_weights', @() qmv_robust_weights (imgI, imgsY, fp));
check_unload ('qmv_anchor_weights', @() qmv_anchor_weights (imgI, imgsY, fp));
check_unload ('qmv_conjugate_gradients', @() qmv_conjugate_gradients (imgI, imgI, fp, 2, 0));
frames = cat (4, imgI(1:64, 1:64, :), imgI(2:65, 1:64, :), imgI(3:66, 1:64, :));
check_unload ('qmv_motion_fields', @() qmv_motion_fields (frames, imgI(1:64, 1:64, :)));
% Loaded again after the clear, a module works as before.
assert (isequal (size (qmv_system_apply (imgI, fp)), size (imgI)));
clear qmv_system_apply;
