// The studio's still names, without files: a second still of a frame keeps
// the first.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "studio/still.h"

TEST(Still, ASecondStillOfAFrameTakesTheNextFreeName)
{
	std::set<std::string> taken;
	const auto isTaken = [&taken](const std::string &path) { return taken.count(path) > 0; };
	EXPECT_EQ(FreeStillPath(300, isTaken), "stills/frame300.png");
	taken.insert("stills/frame300.png");
	EXPECT_EQ(FreeStillPath(300, isTaken), "stills/frame300-2.png");
	taken.insert("stills/frame300-2.png");
	EXPECT_EQ(FreeStillPath(300, isTaken), "stills/frame300-3.png");
	EXPECT_EQ(FreeStillPath(30, isTaken), "stills/frame30.png") << "another frame is free";
}
