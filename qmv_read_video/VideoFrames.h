// Reading a range of frames of a video file with OpenCV's videoio, host-free.
#ifndef QMV_READ_VIDEO_VIDEOFRAMES_H
#define QMV_READ_VIDEO_VIDEOFRAMES_H

#include <string>
#include <vector>

#include <opencv2/core.hpp>

// Reads up to nWanted frames starting at the 0-based frame iFirst of the file
// sPath into vFrames (each as decoded: 8 or 16 bits, 1, 3 or 4 channels, all of
// the first frame's size). Frames before iFirst are decoded and dropped, since
// seeking by frame number is not exact for every codec. Reading stops early,
// without an error, when the video ends or a frame fails to decode or changes
// size. Throws std::runtime_error with an "Error: " text when the file cannot
// be opened, ends before iFirst, or gives no frame at all from iFirst on.
void ReadVideoFrames(const std::string& sPath, long long iFirst, long long nWanted, std::vector<cv::Mat>& vFrames);

#endif
