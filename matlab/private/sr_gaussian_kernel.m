function kernel = sr_gaussian_kernel(sigma, sz)
% Normalised sz x sz Gaussian blur kernel of standard deviation sigma.
half = (sz - 1) / 2;
[x, y] = meshgrid(-half:half, -half:half);
kernel = exp(-(x .^ 2 + y .^ 2) / (2 * sigma ^ 2));
kernel = kernel / sum(kernel(:));
end
