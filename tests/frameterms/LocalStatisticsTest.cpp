// The median and the 3 x 3 mean that the weight functions share, against
// plain definitions: a full sort, and the clamped sum over each neighbourhood.
#include "LocalStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using NSysApply::BoxMean3;
using NSysApply::Median;

double SortedMedian(std::vector<double> vecValues)
{
    std::sort(vecValues.begin(), vecValues.end());
    const std::size_t n = vecValues.size();
    return n % 2 == 1 ? vecValues[n / 2] : (vecValues[n / 2 - 1] + vecValues[n / 2]) / 2;
}

void ExpectMedianOfSort(std::vector<double> vecValues, const char* sWhat)
{
    const double dExpected = SortedMedian(vecValues);
    EXPECT_EQ(Median(vecValues), dExpected) << sWhat << ", n = " << vecValues.size();
}

TEST(Median, EqualsTheMiddleOfTheSortedValues)
{
    std::mt19937 rng(7);
    std::lognormal_distribution<double> spread(-3, 2);
    std::normal_distribution<double> signedValues(0.2, 1);
    // Counts on both sides of the narrowing, odd and even.
    for (std::size_t n : {1, 2, 5, 65536, 65537, 200000, 200001}) {
        std::vector<double> vecSizes(n), vecSigned(n), vecTies(n), vecNarrow(n);
        for (std::size_t i = 0; i < n; ++i) {
            vecSizes[i] = spread(rng);
            vecSigned[i] = signedValues(rng);
            vecTies[i] = std::floor(4 * spread(rng)) / 4;           // many equal values, zeros among them
            vecNarrow[i] = 1 + std::ldexp(signedValues(rng), -30);  // all in one bucket
        }
        ExpectMedianOfSort(vecSizes, "residual sizes");
        ExpectMedianOfSort(vecSigned, "values of both signs");
        ExpectMedianOfSort(vecTies, "ties");
        ExpectMedianOfSort(vecNarrow, "values close together");
    }
}

TEST(Median, NextValueOfAnEvenCountMayLieFarAbove)
{
    // The two middle values lie far apart, in different buckets.
    std::vector<double> vecValues(100000, 0.5);
    std::fill(vecValues.begin() + 50000, vecValues.end(), 1e6);
    vecValues[70000] = 3.0;  // the least value above the middle
    std::shuffle(vecValues.begin(), vecValues.end(), std::mt19937(3));
    EXPECT_EQ(Median(vecValues), (0.5 + 3.0) / 2);
    std::vector<double> vecNone;
    EXPECT_TRUE(std::isnan(Median(vecNone)));
}

TEST(BoxMean3, MatchesTheClampedSumBitForBit)
{
    std::mt19937 rng(5);
    std::normal_distribution<double> values;
    for (int h : {1, 2, 3, 7}) {
        for (int w : {1, 2, 3, 6}) {
            std::vector<double> vecIn(static_cast<std::size_t>(h) * w), vecOut(vecIn.size()), vecExpected(vecIn.size());
            for (double& d : vecIn) d = values(rng);
            for (int j = 0; j < w; ++j)
                for (int i = 0; i < h; ++i) {
                    double dSum = 0;
                    for (int jj = j - 1; jj <= j + 1; ++jj)
                        for (int ii = i - 1; ii <= i + 1; ++ii)
                            if (ii >= 0 && ii < h && jj >= 0 && jj < w)
                                dSum +=
                                    vecIn[static_cast<std::size_t>(ii) + static_cast<std::size_t>(jj) * h] * (1.0 / 9);
                    vecExpected[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * h] = dSum;
                }
            BoxMean3(vecIn.data(), h, w, vecOut.data());
            EXPECT_EQ(0, std::memcmp(vecOut.data(), vecExpected.data(), vecOut.size() * sizeof(double)))
                << h << " x " << w;
        }
    }
}

}  // namespace
