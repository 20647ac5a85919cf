% img = sr_to_unit(img): intensities as doubles on a 0..1 scale; uint8 and
% uint16 images are scaled by their full range, other classes are converted as
% they are.
function img = sr_to_unit(img)
if isa(img, 'uint8')
  img = double(img) / 255;
elseif isa(img, 'uint16')
  img = double(img) / 65535;
else
  img = double(img);
end
end
