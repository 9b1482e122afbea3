// The download road's decisions: token comparison between two packages, the
// agent executable cut from a (signed) stub, the source choice, the question.
#include <gtest/gtest.h>

#include "pack/builder.h"
#include "flows/download_road.h"
#include "package/format.h"
#include "vpack_test_util.h"

namespace flows {
namespace {

using namespace vpack_test;
using namespace package;

class DownloadRoadTest : public ScratchTest {
protected:
  std::string Build(const std::string& out, std::optional<std::string> token, bool asIs = false,
                    std::optional<std::uint32_t> seed = std::nullopt) {
    pack::BuildOptions o;
    o.stubPath = Path("stub.exe");
    o.outputPath = Path(out);
    o.useDownloadRoad = true;
    o.downloadSource = "http://example.test/files";
    o.downloadName = "full.exe";
    o.downloadAsIs = asIs;
    o.downloadTokenPlain = std::move(token);
    o.tokenSeed = seed;
    pack::Build(o);
    return Path(out);
  }
};

TEST_F(DownloadRoadTest, SameTokenComparesTheUnscrambledTokensCaseSensitively) {
  const TGFileInfo a(Build("a.exe", "Secret-42"));
  const TGFileInfo same(Build("b.exe", "Secret-42", false, 77));
  const TGFileInfo upper(Build("c.exe", "SECRET-42"));
  const TGFileInfo none(Build("d.exe", std::nullopt));
  // Another seed stores the same token differently.
  ASSERT_NE(a.DownloadToken(false), same.DownloadToken(false));
  EXPECT_TRUE(SameToken(a, same));
  EXPECT_FALSE(SameToken(a, upper));
  EXPECT_FALSE(SameToken(a, none));
}

TEST_F(DownloadRoadTest, SourceIsTheStubsFolderOnlyWhenTheSetupLiesThereAndMayBeUsed) {
  const TGFileInfo normal(Build("n.exe", "t"));
  const TGFileInfo asIs(Build("s.exe", "t", true));
  EXPECT_EQ(ChooseDownloadSource(normal, "C:\\media", true), "C:\\media");
  EXPECT_EQ(ChooseDownloadSource(normal, "C:\\media", false), "http://example.test/files");
  EXPECT_EQ(ChooseDownloadSource(asIs, "C:\\media", true), "http://example.test/files");
  EXPECT_EQ(SetupUrl("http://example.test/files", "full.exe"),
            "http://example.test/files/full.exe");
}

TEST(DownloadRoad, AgentImageIsCutAtTheEndMarkerOnlyForASmallExcess) {
  // 300 bytes of package, the marker saying where it ends, `tail` bytes after.
  auto image = [](std::uint32_t marker, std::size_t tail) {
    std::string s(300 + tail, 'x');
    for (int i = 0; i < 8; ++i)
      s[248 + i] = '\0';
    for (int i = 0; i < 4; ++i)
      s[kEndMarkerLow + i] = static_cast<char>(marker >> (8 * i));
    s[299] = 'T'; // last byte of the trailer
    return s;
  };
  struct Case {
    const char* what;
    std::uint32_t marker;
    std::size_t tail;
    std::size_t length;
  } cases[] = {
      {"signature after the package is cut off", 300, 5000, 300},
      {"an excess of 10000 bytes or more stays", 300, 10000, 10300},
      {"no excess", 300, 0, 300},
      {"no marker (0) never cuts", 0, 100, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = AgentExecutableImage(image(c.marker, c.tail));
    ASSERT_EQ(out.size(), c.length);
    EXPECT_EQ(out[out.size() - 5], '\1');
    if (c.length == 300) {
      EXPECT_EQ(out.back(), 'T');
    }
  }
  EXPECT_EQ(AgentExecutableImage("MZ123"), "MZ123"); // under 6 bytes: untouched
}

TEST(DownloadRoad, QuestionShowsTheSizeInMegabytes) {
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", "5242880"), "Size: 5.00 MB");
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", "lots"), "Size: 0.000 MB");
}

TEST(DownloadRoad, SetupIsBoundedByTheSizeInTheHeader) {
  EXPECT_EQ(SetupDownloadRequest("578000").bounds.expected, 578000u);
  EXPECT_EQ(SetupDownloadRequest("578000").bounds.cap, 0u);
  for (const char* none : {"", "0", "-5", "lots"})
    EXPECT_EQ(SetupDownloadRequest(none).bounds.expected, 0u) << none;
}

TEST(DownloadRoad, EachKindOfFailedDownloadHasItsExitCode) {
  using http::TransferFailure;
  const std::pair<TransferFailure, int> cases[] = {
      {TransferFailure::kNone, 0},          {TransferFailure::kNoConnection, 95},
      {TransferFailure::kHttpStatus, 96},   {TransferFailure::kTransfer, 97},
      {TransferFailure::kAborted, 1602},
  };
  for (const auto& [failure, code] : cases)
    EXPECT_EQ(DownloadExitCode(failure), code) << static_cast<int>(failure);
}

} // namespace
} // namespace flows
