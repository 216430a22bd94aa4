// How the live estimate samples a large animation and scales the size up.
#include "export/SizeEstimator.h"

#include <gtest/gtest.h>

using namespace mirelo;

TEST(ExportModelPlan, ExactUpToEightyMillionPixels) {
    const EstimatePlan big = planEstimate(100, QSize(1920, 1080));
    EXPECT_FALSE(big.exact);
    EXPECT_EQ(big.step, 2);
    EXPECT_EQ(big.frameCount, 50);
    EXPECT_EQ(big.frameFactor, 2.0);
    EXPECT_EQ(big.scaledSize, QSize(1280, 720));
    EXPECT_NEAR(big.sizeFactor, 2.075, 0.001);

    const EstimatePlan sixty = planEstimate(60, QSize(1920, 1080));
    EXPECT_FALSE(sixty.exact);
    EXPECT_EQ(sixty.step, 1);
    EXPECT_EQ(sixty.frameCount, 60);
    EXPECT_EQ(sixty.frameFactor, 1.0);
    EXPECT_EQ(sixty.scaledSize, QSize(1280, 720));

    const EstimatePlan limit = planEstimate(200, QSize(800, 500));  // exactly 80 million
    EXPECT_TRUE(limit.exact);
    EXPECT_EQ(limit.frameCount, 200);

    // Many narrow frames: sampled but not scaled.
    const EstimatePlan narrow = planEstimate(1000, QSize(400, 300));
    EXPECT_FALSE(narrow.exact);
    EXPECT_EQ(narrow.step, 17);
    EXPECT_EQ(narrow.frameCount, 59);
    EXPECT_FALSE(narrow.scaledSize.isValid());
    EXPECT_EQ(narrow.sizeFactor, 1.0);

    EXPECT_TRUE(planEstimate(0, QSize(0, 0)).exact);
}
