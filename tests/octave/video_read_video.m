% qmv_read_video through the real MEX file: the help file's blocks (videos
% written at test time, exact values, ranges, a cut file, error texts).
[num_passed, num_tests] = test('qmv_read_video', 'quiet');
assert(num_tests >= 10);
assert(num_passed == num_tests, sprintf('%d of %d qmv_read_video tests failed', num_tests - num_passed, num_tests));
