#pragma once

namespace torvale {

/// Tiny pictures decoded from memory by the image library's self-test.
extern const unsigned char kSelfTestPng[110];  // 8 x 8
extern const unsigned char kSelfTestJpeg[331]; // 8 x 8
extern const unsigned char kSelfTestGif[54];   // 8 x 8
extern const unsigned char kSelfTestBmp[102];  // 4 x 4

} // namespace torvale
