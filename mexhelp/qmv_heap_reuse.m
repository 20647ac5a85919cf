%QMV_HEAP_REUSE  Keep the large blocks the process frees for reuse (MEX).
%
%   keep = qmv_heap_reuse()
%   previous = qmv_heap_reuse(keep)
%
%   A reconstruction allocates and frees full-size arrays hundreds of times.
%   By default the C library hands large freed blocks back to the system,
%   and every page of the next array is then faulted in again: on a virtual
%   machine that took a third of a 1024 x 1024 reconstruction.
%   qmv_heap_reuse(true) makes the process keep them: blocks of up to 256 MB
%   come from the heap, and up to 1 GB of freed memory stays with the
%   process for the next allocation. Turning it on also readies 768 MB of
%   the heap for transparent huge pages (address space only: no memory is
%   taken until it is used), so that the process faults its first use in
%   2 MB at a time instead of 4 kB (where the kernel's transparent huge
%   pages are in madvise or always mode): a first 1024 x 1024
%   reconstruction in a fresh Octave took 3.3 to 3.7 s with it against 4.1
%   to 4.2 s without. qmv_heap_reuse(false) hands back at
%   once what the heap holds free and sets back the thresholds the C
%   library's own rule settles at (32 MB and 64 MB), so that freed memory
%   goes back to the system as usual; clearing the module does the same.
%
%   sr_reconstruct sets true and leaves it set: its next call then finds
%   the pages it needs (at 1024 x 1024 output that saved a sixth of a call,
%   and the process kept about 300 MB more between calls). Call
%   qmv_heap_reuse(false) when the memory is wanted elsewhere. The setting
%   counts for the whole process; it changes no result. With a C library
%   other than GNU's (or under a sanitizer) the setting is recorded but has
%   no effect.
%
%   Inputs
%     keep      true or false (or 1 or 0)
%
%   Output
%     keep / previous  the setting in force before the call (false until
%                      the first qmv_heap_reuse(true))
%
%   Errors (Octave prefixes them with "qmv_heap_reuse: "):
%     Usage: previous = qmv_heap_reuse(keep)   more than one input or output
%     Error: keep must be true or false!
%
%   Example:
%     img = sr_sample_image();
%     frames = sr_simulate_frames(img(1:64, 1:64, :), 2, [0 0; 1 0; 0 1; 1 1], ones(3) / 9, 0.01);
%     big = sr_reconstruct(frames, 'kernel', ones(3) / 9, 'verbose', false);   % leaves it on
%     qmv_heap_reuse(false);   % the memory kept for the next call goes back
%
%   See also sr_reconstruct, qmv_threads.

%!test
%! before = qmv_heap_reuse ();
%! assert (islogical (before) && isscalar (before));
%! assert (qmv_heap_reuse (true), before);
%! assert (qmv_heap_reuse (), true);
%! x = ones (3000, 3000);   % a block above the usual threshold, kept after
%! clear x;
%! y = ones (3000, 3000);
%! assert (y(end), 1);
%! assert (qmv_heap_reuse (0), true);
%! assert (qmv_heap_reuse (before), false);
%! assert (qmv_heap_reuse (), before);

%!error <keep must be true or false> qmv_heap_reuse (2)
%!error <keep must be true or false> qmv_heap_reuse ('true')
%!error <keep must be true or false> qmv_heap_reuse ([true false])
%!error <keep must be true or false> qmv_heap_reuse (NaN)
%!error <Usage: previous = qmv_heap_reuse> qmv_heap_reuse (true, true)
