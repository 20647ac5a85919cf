%DPX_GUIDED_SMOOTH  Joint bilateral smoothing of an image stack by a colour guide (MEX).
%
%   imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps)
%   imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)
%
%   Replaces every pixel of every image of the stack by a weighted mean of
%   the pixels in the (2r+1) x (2r+1) window around it; the window is
%   clipped at the image border (no padding).  The weights come from the
%   pixel distance and from the colour difference in the GUIDE, not in the
%   image itself, so values are not averaged across edges of the guide:
%     p = 2:  w = exp(-(dx^2 + dy^2) / seps^2 - (dR^2 + dG^2 + dB^2) / reps^2)
%     p = 1:  w = exp(-sqrt(dx^2 + dy^2) / seps - (|dR| + |dG| + |dB|) / (3 * reps))
%   (no factor 1/2 in the exponent).  sr_reconstruct uses it to smooth
%   estimated flow fields along the edges of the frame.
%
%   Inputs
%     imgStackIn  H x W (one image) or H x W x N (N images) real double
%     imgGuide    H x W x 3 real double colour guide: planes 1, 2, 3 are
%                 red, green, blue (scale as you like; reps is on that scale)
%     r           real scalar: window radius in pixels, truncated towards 0
%     seps        real scalar > 0: spatial scale in pixels
%     reps        real scalar > 0: colour scale
%     p           real scalar, 1 or 2 (optional, default 2): distance form
%
%   Output
%     imgStackOut double array of the size of imgStackIn.  The computation
%                 runs in single precision, so the values are singles stored
%                 as doubles (r = 0 returns single(imgStackIn)).
%
%   Errors (Octave prefixes them with "dpx_guided_smooth: "):
%     Usage: imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)
%                                   not one output and five or six inputs
%     Error: imgStackIn must be of type double!
%     Error: imgGuide must be of type double!
%     Error: r must be of type double!
%     Error: seps/reps must be of type double!
%     Error: p must be of type double!
%     Error: r/seps/reps/p must be a real scalar!
%     Error: imgStackIn must be an image or a stack of images!
%     Error: imgGuide must be a color image with 3 channels!
%     Error: imgGuide must have the same size as image in imgStackIn!
%   Sparse inputs are refused with an "Error: " message too.  A negative
%   radius, a scale that is not positive, a scale so small that its square
%   is 0 in single precision (seps or reps below about 1e-23 with p = 2), or
%   a p other than 1 and 2 is reported on the error stream ("Error:
%   CImgBilatFilter::SetContext() failed, ...") and the call still returns a
%   result computed with those values: NaN for a negative radius or a
%   vanishing scale; a p that is not a whole number (1.5, 1 + eps) computes
%   as its truncation.
%
%   Example:
%     guide = sr_sample_image();
%     noisy = guide(:, :, 2) + 0.05 * randn(size(guide, 1), size(guide, 2));
%     smooth = dpx_guided_smooth(noisy, guide, 3, 3, 0.1);
%
%   See also sr_reconstruct, qmv_motion_field.

%!shared img, guide
%! img = reshape (mod ((1:48) * 7, 11), 6, 8) / 10;
%! guide = repmat (0.5, [6 8 3]);

%!test
%! % Radius 0 returns the input rounded to single precision; 5 inputs mean p = 2.
%! out = dpx_guided_smooth (img, guide, 0, 1, 1);
%! assert (out, double (single (img)));
%! assert (dpx_guided_smooth (img, guide, 2, 1, 1), dpx_guided_smooth (img, guide, 2, 1, 1, 2));

%!test
%! % A uniform guide and a huge spatial scale give the mean over the clipped window.
%! out = dpx_guided_smooth (img, guide, 1, 1e6, 1);
%! assert (out(1, 1), mean (reshape (img(1:2, 1:2), [], 1)), 1e-6);
%! assert (out(1, 4), mean (reshape (img(1:2, 3:5), [], 1)), 1e-6);
%! assert (out(3, 4), mean (reshape (img(2:4, 3:5), [], 1)), 1e-6);

%!test
%! % Nothing is averaged across a sharp edge of the guide.
%! g = zeros (6, 8, 3);
%! g(:, 5:end, :) = 1;
%! v = zeros (6, 8);
%! v(:, 5:end) = 1;
%! out = dpx_guided_smooth (v, g, 2, 2, 0.05);
%! assert (out, v, 1e-6);

%!test
%! % A stack is smoothed slice by slice with the same guide; shapes are kept.
%! out = dpx_guided_smooth (cat (3, img, img, 2 * img), guide, 1, 1, 1);
%! assert (size (out), [6 8 3]);
%! assert (out(:, :, 2), out(:, :, 1));
%! assert (out(:, :, 3), 2 * out(:, :, 1), 1e-6);
%! assert (size (dpx_guided_smooth (img, guide, 1, 1, 1)), [6 8]);

%!error <Usage: imgStackOut = dpx_guided_smooth\(imgStackIn, imgGuide, r, seps, reps, p\)> out = dpx_guided_smooth (img, guide, 1, 1)
%!error <Usage: imgStackOut = dpx_guided_smooth\(imgStackIn, imgGuide, r, seps, reps, p\)> dpx_guided_smooth (img, guide, 1, 1, 1)
%!error <Error: imgStackIn must be of type double!> out = dpx_guided_smooth (single (img), guide, 1, 1, 1)
%!error <Error: imgGuide must be of type double!> out = dpx_guided_smooth (img, single (guide), 1, 1, 1)
%!error <Error: r must be of type double!> out = dpx_guided_smooth (img, guide, single (1), 1, 1)
%!error <Error: seps/reps must be of type double!> out = dpx_guided_smooth (img, guide, 1, 1, int8 (1))
%!error <Error: p must be of type double!> out = dpx_guided_smooth (img, guide, 1, 1, 1, true)
%!error <Error: r/seps/reps/p must be a real scalar!> out = dpx_guided_smooth (img, guide, [1 2], 1, 1)
%!error <Error: r/seps/reps/p must be a real scalar!> out = dpx_guided_smooth (img, guide, 1, 1i, 1)
%!error <Error: imgStackIn must be an image or a stack of images!> out = dpx_guided_smooth (ones (6, 8, 2, 2), guide, 1, 1, 1)
%!error <Error: imgGuide must be a color image with 3 channels!> out = dpx_guided_smooth (img, ones (6, 8), 1, 1, 1)
%!error <Error: imgGuide must have the same size as image in imgStackIn!> out = dpx_guided_smooth (img, ones (8, 6, 3), 1, 1, 1)
%!error <Error: > out = dpx_guided_smooth (sparse (img), guide, 1, 1, 1)
