function d = max_rel_diff (a, b)
  % Largest difference between two results relative to the largest magnitude
  % of the reference: element-wise ratios would blow up where values vanish.
  d = max (abs (a(:) - b(:))) / max (abs (b(:)));
endfunction
