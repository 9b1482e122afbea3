#include "http/error_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(HtmlErrorPage, RecognisesPagesByTagOrder) {
  const struct {
    std::string text;
    bool page;
  } cases[] = {
      {"<html><head><title>Welcome</title></head><body></body></html>", true},
      {"<HTML>\n<HEAD>\n<TITLE>Index of /</TITLE>", true},
      {"<title>404 Not Found</title>", true}, // no html or head needed with 404
      {"<TITLE id=t>Error 404</title>", true},
      {"<html><title>Welcome</title></html>", false}, // no head
      {"<head><html><title>Welcome</title>", false},  // head before html
      {"<html><head></title><title>x", false},        // closing tag first
      {"404 <title>Welcome</title>", false},          // 404 outside the title
      {"<title>Welcome</title> 404", false},
      {std::string(990, ' ') + "<title>404</title>", false}, // beyond 1000 characters
      {std::string("MZ\x90\0\x03\0\0\0<title", 14), false},
      {"", false},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(http::IsHtmlErrorPage("", text), c.page) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

class HtmlErrorPageFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantor_errpage_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& data) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << data;
    return p.string();
  }
  fs::path dir_;
};

TEST_F(HtmlErrorPageFile, AnExistingFileReplacesTheTextByItsHead) {
  const std::string page = "<html><head><title>404 Not Found</title></head><body>" +
                           std::string(2000, 'x') + "</body></html>";
  const std::string file = Write("setup.exe", page);
  std::string text = "plain text";
  EXPECT_TRUE(http::IsHtmlErrorPage(file, text));
  EXPECT_EQ(text, page.substr(0, 1000));

  // A missing file leaves the text as given.
  text = "<title>404</title>";
  EXPECT_TRUE(http::IsHtmlErrorPage((dir_ / "missing").string(), text));
  EXPECT_EQ(text, "<title>404</title>");
  text = "<title>404</title>";
  EXPECT_FALSE(http::IsHtmlErrorPage(Write("data.bin", "binary data"), text));
  EXPECT_EQ(text, "binary data");
}

TEST_F(HtmlErrorPageFile, NotFoundMessage) {
  const std::string url = "http://host/app.info";
  const std::string base = "<B>404 File Not Found...</B><P><P>URL:  http://host/app.info."
                           "<P><P>Please make sure the file is available and access is allowed "
                           "to this file.";
  const std::string hint =
      "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  const std::string iisPage = "<html><head><title>Not Found</title></head>Microsoft-IIS/10.0";
  const std::string plain = "[Update]\nVersion=2";
  const struct {
    std::string file, text;
    bool iisHint;
    std::string message;
  } cases[] = {
      {"", plain, true, "default"},
      {"", iisPage, false, base},
      {"", iisPage, true, base + hint},
      {"", "<title>404</title>", true, base},
      // The hint looks at the text as passed, not at the file's head.
      {Write("page.html", iisPage), "", true, base},
      {Write("page2.html", "<title>404</title>"), "iis", true, base + hint},
  };
  for (const auto& c : cases) {
    std::string message = "old";
    http::MakeNotFoundMessage(c.file, c.text, url, message, c.iisHint, "default");
    EXPECT_EQ(message, c.message) << c.text;
  }
}

} // namespace
