// Tests of the writers' file handling: opening modes, the size count, the rotation point and the
// overflow names.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <set>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>

#include "QpLogTestHelpers.h"

namespace {

TEST_F(QpLogTest, RotationAndOverflowNames) {
  // Each file of the folder afterwards: its line count less one and the end of its text, "first"
  // (the first entry), "nnnnn" (the entry that rotated) or "oldN" (an overflow file before).
  const struct {
    const char* mPath;
    int mOverflows, mOld;
    bool mAppend, mKeep;
    const char* mFiles;
  } kRows[] = {
      {"QpLog.txt", 3, 3, false, false,
       "QpLog.txt:2:nnnnn QpLog_ovr1.txt:2:first QpLog_ovr2.txt:0:old1 QpLog_ovr3.txt:0:old2 "},
      {"logs.d/app", 1, 0, false, false, "logs.d/app:2:nnnnn logs_ovr1.d/app:2:first "},
      {"applog", 2, 1, true, false, "applog:2:nnnnn applog_ovr1:2:first applog_ovr2:0:old1 "},
      // No overflows: the file is emptied even when appending, or kept beside a new one.
      {"z.log", 0, 0, true, false, "z.log:2:nnnnn "},
      {"z.log", 0, 0, false, true, "z.log.<ms>:2:nnnnn z.log:2:first "},
  };
  for (const auto& vRow : kRows) {
    std::filesystem::remove_all(mDir);
    for (const char* vDir : {"logs.d", "logs_ovr1.d"})
      std::filesystem::create_directories(path(vDir));
    const std::string vBase = std::string(vRow.mPath).substr(0, std::string(vRow.mPath).find('.'));
    for (int i = 1; i <= vRow.mOld; ++i)
      writeFile(path(vBase + "_ovr" + std::to_string(i) + (vRow.mPath[0] == 'Q' ? ".txt" : "")),
                "old" + std::to_string(i) + "\n");
    std::unique_ptr<QpLoggingState> vOptions =
        makeState(path(vRow.mPath), kLogFormatTab, 1, vRow.mOverflows);
    vOptions->setAppend(vRow.mAppend);
    vOptions->setKeepExisting(vRow.mKeep);
    QpLogTab vWriter(vOptions.get());
    vWriter.logEntry(4, POOL, "first");
    vWriter.logEntry(4, POOL, std::string(1100, 'n').c_str());  // over 1 KiB: rotates first
    std::set<std::string> vFiles;
    for (const auto& vEntry : std::filesystem::recursive_directory_iterator(mDir)) {
      if (!vEntry.is_regular_file()) continue;
      std::string vText = readFile(vEntry.path().string());
      vText = vText.substr(0, vText.size() - 1);
      vFiles.insert(std::regex_replace(vEntry.path().string().substr(mDir.size() + 1),
                                       std::regex(R"(\.\d{13,}$)"), ".<ms>") +
                    ":" + std::to_string(std::count(vText.begin(), vText.end(), '\n')) + ":" +
                    vText.substr(vText.size() > 5 ? vText.size() - 5 : 0) + " ");
    }
    EXPECT_EQ(std::accumulate(vFiles.begin(), vFiles.end(), std::string()), vRow.mFiles);
  }
}

TEST_F(QpLogTest, SizeCountAndThe944BytePoint) {
  // A 1 KiB tab log rotates before an entry once count + 80 reaches 1024 (count 944), or when
  // the entry's text would reach it; some entries reach it exactly, some stop one byte short.
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("r.log"), kLogFormatTab, 1, 1);
  QpLogTab vWriter(vOptions.get());
  for (int i = 0; i < 300; ++i) {
    const QpLong vRoom = 943 - vWriter.getSizeCount() - i % 4 % 2;
    const std::string vText(i % 4 < 2 && vRoom > 0 ? vRoom : (i * 37) % 90 + 1, 'a' + i % 26);
    const bool vRotates =
        vWriter.getSizeCount() + 80 + static_cast<QpLong>(vText.size()) + 1 >= 1024;
    const std::string vBefore = readFile(path("r.log"));
    vWriter.logEntry(4, POOL, vText.c_str());
    const std::string vAfter = readFile(path("r.log"));
    if (vRotates) {
      ASSERT_EQ(readFile(path("r_ovr1.log")), vBefore) << i;
    } else {
      ASSERT_EQ(vAfter.substr(0, vBefore.size()), vBefore) << i;
    }
    const QpLong vLines = std::count(vAfter.begin(), vAfter.end(), '\n');
    ASSERT_EQ(vWriter.getSizeCount(), static_cast<QpLong>(vAfter.size()) + 8 + vLines - 1);
  }
}

TEST_F(QpLogTest, XmlDocumentAndApiNames) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("x.xml"), kLogFormatXML, 2, 1);
  vOptions->setAppend(true);  // never appended to: each open starts a new document
  writeFile(path("x.xml"), "stale");
  {
    QpLogXML vWriter(vOptions.get());
    vWriter.logEntry(4, PACKET, "a <b> & \"c\"");
    vWriter.logEntry(3, API, "Start ClipWrite");
    vWriter.logEntry(8, NET, "after");
    std::thread([&] { vWriter.logEntry(2, NET, "other thread"); }).join();
    vWriter.logEntry(3, API, "S");  // names nothing, and is itself written without the name
    vWriter.logEntry(1, 0x11, "two bits");
    vWriter.logEntry(4, POOL, std::string(2100, 'b').c_str());  // rotates: a new document
  }
  // The varying attributes, checked against this process and each other, then taken out.
  const std::regex kIds(" procID=\"" + std::to_string(getpid()) +
                        "\" tID=\"-?\\d+\" msec=\"(\\d{13})\" usec=\"\\1\\d{3}\"");
  const std::string kHead =
      "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n<SDKLog SDKVersion=\"4.0.710\">\n";
  EXPECT_EQ(std::regex_replace(readFile(path("x_ovr1.xml")), kIds, ""),
            kHead +
                "\n<debug comp=\"PACKET\"><![CDATA[\na <b> & \"c\"\n]]></debug>\n"
                "\n<log comp=\"API\"><![CDATA[\nStart ClipWrite\n]]></log>\n"
                "\n<dbg+ comp=\"NET\" API=\"ClipWrite\"><![CDATA[\nafter\n]]></dbg+>\n"
                "\n<warn comp=\"NET\"><![CDATA[\nother thread\n]]></warn>\n"
                "\n<log comp=\"API\"><![CDATA[\nS\n]]></log>\n"
                "\n<error comp=\"???\"><![CDATA[\ntwo bits\n]]></error>\n</SDKLog>\n");
  EXPECT_EQ(std::regex_replace(readFile(path("x.xml")), kIds, ""),
            kHead + "\n<debug comp=\"POOL\"><![CDATA[\n" + std::string(2100, 'b') +
                "\n]]></debug>\n</SDKLog>\n");
}

}  // namespace
