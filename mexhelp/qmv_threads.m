%QMV_THREADS  Number of threads of the compiled functions (MEX).
%
%   numThreads = qmv_threads()
%   previous = qmv_threads(numThreads)
%
%   The compiled functions (qmv_system_apply, dpx_guided_smooth,
%   qmv_motion_field, ...) use all cores by default: as many threads as
%   OpenMP's default, or OMP_NUM_THREADS when it was set before Octave or
%   MATLAB started. qmv_threads(numThreads) sets the count for the rest of
%   the session (OpenMP's count for calls from the interpreter and OpenCV's
%   thread pool) and returns the one before; qmv_threads() only reads it.
%   Set 1 in worker processes that already fill the cores, as sr_batch
%   does.
%
%   Inputs
%     numThreads  whole number from 1 to 4096
%
%   Output
%     numThreads / previous  the count in force before the call
%
%   Errors (Octave prefixes them with "qmv_threads: "):
%     Usage: previous = qmv_threads(numThreads)   more than one input or output
%     Error: numThreads must be a whole number from 1 to 4096!
%
%   Example:
%     before = qmv_threads(1);     % one thread from now on
%     qmv_threads(before);         % back to what it was
%
%   See also sr_batch.

%!test
%! before = qmv_threads ();
%! assert (before >= 1 && before == round (before));
%! assert (qmv_threads (1), before);
%! assert (qmv_threads (), 1);
%! assert (qmv_threads (before), 1);
%! assert (qmv_threads (), before);

%!error <numThreads must be a whole number> qmv_threads (0)
%!error <numThreads must be a whole number> qmv_threads (2.5)
%!error <numThreads must be a whole number> qmv_threads ('2')
%!error <numThreads must be a whole number> qmv_threads ([1 2])
%!error <Usage: previous = qmv_threads> qmv_threads (1, 2)
