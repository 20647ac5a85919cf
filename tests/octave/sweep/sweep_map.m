% m = sweep_map(h, w): the identity map of an h x w image (plane 1 holds the
% 1-based column, plane 2 the 1-based row), the starting point of malformed maps.
function m = sweep_map(h, w)
  [x, y] = meshgrid(1:w, 1:h);
  m = cat(3, x, y);
end
