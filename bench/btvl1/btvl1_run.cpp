// Command line around the BTV-L1 runner:
//   btvl1_run SCALE OUT.png REF.png [FRAME.png ...] [--iterations N]
// writes the reconstruction of REF.png and prints one line
//   BTVL1 seconds_total=... seconds_flow=... seconds_one=...
#include "Btvl1Runner.h"

#include <opencv2/imgcodecs.hpp>

#include <exception>
#include <iostream>
#include <string>

int main(int iArgc, char** ppArgv)
{
    try {
        NBtvl1::SOptions sOptions;
        std::vector<std::string> vecArgs;
        for (int i = 1; i < iArgc; ++i) {
            std::string sArg = ppArgv[i];
            if (sArg == "--iterations" && i + 1 < iArgc) {
                sOptions.iIterations = std::stoi(ppArgv[++i]);
            } else {
                vecArgs.push_back(sArg);
            }
        }
        if (vecArgs.size() < 3) {
            std::cerr << "usage: btvl1_run SCALE OUT.png REF.png [FRAME.png ...] [--iterations N]\n";
            return 2;
        }
        sOptions.iScale = std::stoi(vecArgs[0]);
        std::vector<cv::Mat> vecFrames;
        for (size_t i = 2; i < vecArgs.size(); ++i) {
            cv::Mat img = cv::imread(vecArgs[i], cv::IMREAD_COLOR);
            if (img.empty()) {
                std::cerr << "btvl1_run: cannot read " << vecArgs[i] << "\n";
                return 1;
            }
            vecFrames.push_back(img);
        }
        NBtvl1::SResult sResult = NBtvl1::Reconstruct(vecFrames, sOptions);
        if (!cv::imwrite(vecArgs[1], sResult.imgRecon)) {
            std::cerr << "btvl1_run: cannot write " << vecArgs[1] << "\n";
            return 1;
        }
        std::cout << "BTVL1 seconds_total=" << sResult.dSecondsTotal << " seconds_flow=" << sResult.dSecondsFlow
                  << " seconds_one=" << sResult.dSecondsOne << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "btvl1_run: " << e.what() << "\n";
        return 1;
    }
}
