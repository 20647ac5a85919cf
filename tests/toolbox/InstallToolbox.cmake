# Runs `cmake --install` into a scratch prefix, checks the toolbox folder's
# contents, then uses it in octave-cli with nothing else on the path.
set(prefix ${BUILD_DIR}/toolbox-install-test)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()

set(dir ${prefix}/${TOOLBOX_SUBDIR})
foreach(file qmv_system_apply.mex qmv_scatter_nearest.mex qmv_motion_field.mex
             dpx_guided_smooth.mex qmv_system_apply.m qmv_scatter_nearest.m
             qmv_motion_field.m dpx_guided_smooth.m sr_reconstruct.m demo_superres.m
             sr_upscale_bicubic.m private/sr_warp_nearest.m data/butterfly.png
             data/butterfly_clip.avi sr_sample_image.m)
  if(NOT EXISTS ${dir}/${file})
    message(FATAL_ERROR "installed toolbox lacks ${file}")
  endif()
endforeach()

set(work ${prefix}/work)
file(MAKE_DIRECTORY ${work})
set(code "addpath('${dir}'); \
try, \
  names = {'qmv_system_apply', 'qmv_scatter_nearest', 'qmv_motion_field', 'dpx_guided_smooth'}; \
  for i = 1:4, \
    assert(strcmp(which(names{i}), fullfile('${dir}', [names{i} '.mex']))); \
    assert(~isempty(strfind(get_help_text(names{i}), 'Usage: '))); \
  end; \
  r = demo_superres('crop', 32, 'numFrames', 2, 'outDir', 'out', 'verbose', false); \
  assert(exist(fullfile('out', 'side_by_side.png'), 'file') == 2); \
  assert(r(3).psnr > r(2).psnr); \
catch err, disp(err.message); exit(1); end; exit(0);")
execute_process(
  COMMAND ${OCTAVE} --no-gui --norc --no-history --quiet --no-window-system --eval "${code}"
  WORKING_DIRECTORY ${work} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed toolbox failed in Octave (${rc}): ${err}")
endif()
file(REMOVE_RECURSE ${prefix})
