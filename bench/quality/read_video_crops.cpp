// Reads consecutive frames of a video with OpenCV's videoio and writes a
// crop of each as PNG: the real-motion cases of the quality benchmark.
//   read_video_crops VIDEO FIRST COUNT X Y WIDTH HEIGHT OUT_PREFIX
// FIRST is 0-based; writes OUT_PREFIX1.png ... OUT_PREFIX<COUNT>.png.
// With COUNT 0 it prints the video's frame size and frame count instead.
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <exception>
#include <iostream>
#include <string>

int main(int iArgc, char** ppArgv)
{
    try {
        if (iArgc != 9) {
            std::cerr << "usage: read_video_crops VIDEO FIRST COUNT X Y WIDTH HEIGHT OUT_PREFIX\n";
            return 2;
        }
        const std::string sVideo = ppArgv[1];
        const int iFirst = std::stoi(ppArgv[2]);
        const int iCount = std::stoi(ppArgv[3]);
        const cv::Rect rectCrop(std::stoi(ppArgv[4]), std::stoi(ppArgv[5]), std::stoi(ppArgv[6]), std::stoi(ppArgv[7]));
        cv::VideoCapture capture(sVideo);
        if (!capture.isOpened()) {
            std::cerr << "read_video_crops: cannot open " << sVideo << "\n";
            return 1;
        }
        if (iCount == 0) {
            std::cout << capture.get(cv::CAP_PROP_FRAME_WIDTH) << " " << capture.get(cv::CAP_PROP_FRAME_HEIGHT) << " "
                      << capture.get(cv::CAP_PROP_FRAME_COUNT) << "\n";
            return 0;
        }
        // Decoding from the start is slower than seeking but exact on every
        // container: a seek may land on the nearest key frame.
        cv::Mat img;
        for (int i = 0; i < iFirst; ++i) {
            if (!capture.read(img)) {
                std::cerr << "read_video_crops: " << sVideo << " ends before frame " << iFirst << "\n";
                return 1;
            }
        }
        for (int k = 1; k <= iCount; ++k) {
            if (!capture.read(img) || img.empty()) {
                std::cerr << "read_video_crops: " << sVideo << " ends before frame " << iFirst + k - 1 << "\n";
                return 1;
            }
            if ((rectCrop & cv::Rect(0, 0, img.cols, img.rows)) != rectCrop || rectCrop.empty()) {
                std::cerr << "read_video_crops: crop outside the " << img.cols << "x" << img.rows << " frame\n";
                return 1;
            }
            const std::string sOut = std::string(ppArgv[8]) + std::to_string(k) + ".png";
            if (!cv::imwrite(sOut, img(rectCrop))) {
                std::cerr << "read_video_crops: cannot write " << sOut << "\n";
                return 1;
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "read_video_crops: " << e.what() << "\n";
        return 1;
    }
}
