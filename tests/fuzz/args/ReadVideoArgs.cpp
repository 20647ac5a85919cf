// qmv_read_video(fileName, firstFrame, numFrames): the name of a small video
// written once per process (or of a missing, cut, non-video or odd file, or any
// array), and two frame counts.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <stdlib.h>
#include <unistd.h>

#include <opencv2/videoio.hpp>

namespace NQmvFuzz {

const char* const kModuleName = "qmv_read_video";

namespace {

// A scratch folder with a 4-frame MJPG video, a copy cut in its third frame
// and a text file; removed when the process ends.
class CVideoFiles {
public:
    CVideoFiles()
    {
        char aDir[] = "/tmp/qmv_fuzz_videoXXXXXX";
        m_sDir = mkdtemp(aDir) ? aDir : "/tmp";
        cv::VideoWriter writer(Video(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10, cv::Size(16, 16));
        for (int k = 0; k < 4; ++k) writer.write(cv::Mat(16, 16, CV_8UC3, cv::Scalar(60 * k, 255 - 60 * k, 100)));
        writer.release();
        std::ifstream in(Video(), std::ios::binary);
        const std::string sBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(Cut(), std::ios::binary) << sBytes.substr(0, sBytes.size() * 2 / 3);
        std::ofstream(Text()) << "not a video\n";
    }
    ~CVideoFiles()
    {
        for (const std::string& s : {Video(), Cut(), Text()}) std::remove(s.c_str());
        rmdir(m_sDir.c_str());
    }
    std::string Video() const { return m_sDir + "/four.avi"; }
    std::string Cut() const { return m_sDir + "/cut.avi"; }
    std::string Text() const { return m_sDir + "/text.avi"; }
    const std::string& Dir() const { return m_sDir; }

private:
    std::string m_sDir;
};

const CVideoFiles& Files()
{
    static const CVideoFiles files;
    return files;
}

CArrayPtr DecodeFileName(CByteSource& src)
{
    switch (src.Pick(8)) {
        case 0:
            return NMexStandIn::MakeString(Files().Video());
        case 1:
            return NMexStandIn::MakeString(Files().Video() + ".missing");
        case 2:
            return NMexStandIn::MakeString(Files().Cut());
        case 3:
            return NMexStandIn::MakeString(Files().Text());
        case 4:
            return NMexStandIn::MakeString(Files().Dir());
        case 5:
            return NMexStandIn::MakeString("");
        case 6:
            return NMexStandIn::MakeString("0");
        default:
            return DecodeAnyArray(src);
    }
}

}  // namespace

SCall BuildCall(CByteSource& src)
{
    static const double kCounts[] = {2, 1, 5, 1e9};
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, 3);
    if (nrhs == 0) return call;
    call.vArgs.push_back(DecodeFileName(src));
    std::vector<CArrayPtr> vCounts =
        DecodeArguments(src, {ScalarOf(1.0 + src.Pick(6)), ScalarOf(kCounts[src.Pick(4)])}, nrhs - 1);
    for (CArrayPtr& pmx : vCounts) call.vArgs.push_back(std::move(pmx));
    return call;
}

}  // namespace NQmvFuzz
