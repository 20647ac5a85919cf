// Reads frames sequentially from an opened capture; see VideoFrames.h.
#include "VideoFrames.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <stdexcept>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/videoio.hpp>
#include <opencv2/videoio/registry.hpp>

namespace {

bool IsRegularFile(const std::string& sPath)
{
    struct stat info;
    return ::stat(sPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsSupportedFrame(const cv::Mat& mat)
{
    const int iDepth = mat.depth();
    const int iChannels = mat.channels();
    return !mat.empty() && mat.dims == 2 && (iDepth == CV_8U || iDepth == CV_16U) &&
           (iChannels == 1 || iChannels == 3 || iChannels == 4);
}

// Keeps OpenCV's own log lines (backend probing, decoder complaints) out of
// the user's session while the file is read; the caller gets one clear error.
class CQuietLog {
public:
    CQuietLog() : m_previous(cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT))
    {
        // FFmpeg's own decoder messages: OpenCV reads this once, when its FFmpeg
        // back end first starts; a value the user set is kept.
        setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
    }
    ~CQuietLog() { cv::utils::logging::setLogLevel(m_previous); }
    CQuietLog(const CQuietLog&) = delete;
    CQuietLog& operator=(const CQuietLog&) = delete;

private:
    cv::utils::logging::LogLevel m_previous;
};

// The back ends that read files: FFmpeg (nearly every format) and OpenCV's
// own Motion-JPEG AVI reader. Letting OpenCV try all of them would also probe
// cameras (a scan of the USB bus through libgphoto2, which leaks) for a file
// FFmpeg cannot read.
bool OpenWithFileBackend(cv::VideoCapture& capture, const std::string& sPath)
{
    const cv::VideoCaptureAPIs aApis[] = {cv::CAP_FFMPEG, cv::CAP_OPENCV_MJPEG};
    bool bAnyBuiltIn = false;
    for (const cv::VideoCaptureAPIs api : aApis) {
        if (!cv::videoio_registry::hasBackend(api)) continue;
        bAnyBuiltIn = true;
        if (capture.open(sPath, api) && capture.isOpened()) return true;
    }
    return !bAnyBuiltIn && capture.open(sPath, cv::CAP_ANY) && capture.isOpened();
}

void OpenFile(cv::VideoCapture& capture, const std::string& sPath)
{
    // Only an existing file: a name such as "0" or "img%02d.png" would otherwise
    // open a camera or an image sequence.
    if (!IsRegularFile(sPath)) throw std::runtime_error("Error: cannot open video file '" + sPath + "': no such file!");
    if (!OpenWithFileBackend(capture, sPath))
        throw std::runtime_error("Error: cannot open video file '" + sPath +
                                 "': not a video format OpenCV can decode!");
}

[[noreturn]] void ThrowPastEnd(const std::string& sPath, long long iFirst, long long nFrames)
{
    throw std::runtime_error("Error: firstFrame " + std::to_string(iFirst + 1) + " is past the end of '" + sPath +
                             "', which has " + std::to_string(nFrames) + (nFrames == 1 ? " frame!" : " frames!"));
}

void SkipFrames(cv::VideoCapture& capture, const std::string& sPath, long long iFirst)
{
    for (long long i = 0; i < iFirst; ++i)
        if (!capture.grab()) ThrowPastEnd(sPath, iFirst, i);
}

}  // namespace

void ReadVideoFrames(const std::string& sPath, long long iFirst, long long nWanted, std::vector<cv::Mat>& vFrames)
{
    vFrames.clear();
    CQuietLog quiet;
    cv::VideoCapture capture;
    OpenFile(capture, sPath);
    SkipFrames(capture, sPath, iFirst);
    for (long long i = 0; i < nWanted; ++i) {
        if (!capture.grab()) {
            if (i == 0) ThrowPastEnd(sPath, iFirst, iFirst);
            break;
        }
        cv::Mat matFrame;
        if (!capture.retrieve(matFrame) || !IsSupportedFrame(matFrame)) break;
        if (!vFrames.empty() && matFrame.size() != vFrames.front().size()) break;
        vFrames.push_back(matFrame.clone());  // the capture may reuse its buffer
    }
    if (vFrames.empty())
        throw std::runtime_error("Error: frame " + std::to_string(iFirst + 1) + " of '" + sPath +
                                 "' could not be decoded!");
}
