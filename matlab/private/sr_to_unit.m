% img = sr_to_unit(img): intensities as doubles on a 0..1 scale, as im2double
% gives them: integer classes are mapped from their full range (uint8 by 255,
% int16 from -32768..32767 and so on); double, single and logical images are
% converted as they are.
function img = sr_to_unit(img)
if isinteger(img)
  lo = double(intmin(class(img)));
  hi = double(intmax(class(img)));
  img = (double(img) - lo) / (hi - lo);
else
  img = double(img);
end
end
