% The test blocks of the batch runner, the frame reader, the sample clip,
% the version and the thread control, against the MEX files of the build.
names = {'sr_batch', 'sr_read_frames', 'sr_sample_video', 'qmv_version', 'qmv_threads'};
for i = 1:numel(names)
  [passed, total] = test(names{i}, 'quiet');
  if total == 0 || passed ~= total
    error('%s: %d of %d test blocks passed', names{i}, passed, total);
  end
  printf('%s: %d of %d test blocks passed\n', names{i}, passed, total);
end
