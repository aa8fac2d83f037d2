#include <gtest/gtest.h>

#include "station/image_sums.h"
#include "net/sha256.h"
#include "support/temp_dir.h"

namespace {

const std::string kDigestA(64, 'a');
const std::string kDigestB(64, 'b');

std::string DigestOf(const std::string& strBytes)
{
    return Sha256Hex(reinterpret_cast<const uint8_t*>(strBytes.data()), strBytes.size());
}

TransferImage Image(const CTempDir& dir, const std::string& strName)
{
    TransferImage image;
    image.strName = strName;
    image.strPath = dir.Path() + "/" + strName;
    return image;
}

}  // namespace

TEST(ImageSums, ReadsTextAndBinaryLinesCommentsAndEscapedNames)
{
    std::vector<ImageSum> sums;
    std::string strError;
    const std::string strText = "# made by sha256sum\r\n" + kDigestA + "  ./boot.bin\r\n\n" +
                                std::string(64, 'B') + " *kernel.bin\n\\" + kDigestA + "  odd\\\\name\\n.bin\n";
    ASSERT_TRUE(ParseImageSums(strText, sums, strError)) << strError;
    ASSERT_EQ(sums.size(), 3u);
    EXPECT_EQ(sums[0].strName, "boot.bin");
    EXPECT_EQ(sums[1].strSha256, kDigestB);
    EXPECT_EQ(sums[1].strName, "kernel.bin");
    EXPECT_EQ(sums[2].strName, "odd\\name\n.bin");
}

TEST(ImageSums, RefusesAnotherLineAndANameListedTwiceNamingTheLine)
{
    std::vector<ImageSum> sums;
    std::string strError;
    EXPECT_FALSE(ParseImageSums(kDigestA + "  boot.bin\nSHA256 (kernel.bin) = " + kDigestB + "\n", sums, strError));
    EXPECT_NE(strError.find("line 2"), std::string::npos) << strError;
    EXPECT_FALSE(ParseImageSums(kDigestA + "  boot.bin\n" + kDigestB + "  ./boot.bin\n", sums, strError));
    EXPECT_NE(strError.find("line 2: boot.bin is listed again"), std::string::npos) << strError;
}

TEST(ImageSums, EveryImageMustBeListedAndMatch)
{
    CTempDir dir;
    dir.Write("boot.bin", "boot bytes");
    dir.Write("kernel.bin", "kernel bytes");
    const std::string strSums = dir.Write("SHA256SUMS", DigestOf("boot bytes") + "  boot.bin\n" +
                                                            DigestOf("kernel bytes") + "  kernel.bin\n");
    ImageSumsReport report = VerifyImageSums(strSums, {Image(dir, "boot.bin"), Image(dir, "kernel.bin")});
    EXPECT_TRUE(report.bPresent);
    EXPECT_TRUE(report.bOk) << report.strError;

    dir.Write("kernel.bin", "kernel bytes, changed");
    report = VerifyImageSums(strSums, {Image(dir, "boot.bin"), Image(dir, "kernel.bin")});
    EXPECT_FALSE(report.bOk);
    EXPECT_EQ(report.strError.rfind(strSums + ": kernel.bin does not match", 0), 0u) << report.strError;

    dir.Write("rootfs.bin", "");
    report = VerifyImageSums(strSums, {Image(dir, "boot.bin"), Image(dir, "rootfs.bin")});
    EXPECT_FALSE(report.bOk);
    EXPECT_EQ(report.strError, strSums + ": rootfs.bin not listed");
}

TEST(ImageSums, NoFileNothingToVerify)
{
    CTempDir dir;
    dir.Write("boot.bin", "boot bytes");
    ImageSumsReport report = VerifyImageSums(dir.Path() + "/SHA256SUMS", {Image(dir, "boot.bin")});
    EXPECT_FALSE(report.bPresent);
    EXPECT_TRUE(report.bOk);
}
