// The console's Windows pieces without the real agent: SHA-256 through CNG, the partial archive
// file, and ferryctl.exe's backup, restore and listing run as a process against a scripted agent
// library (ctl_fake_agent.dll), which lets every failure path be reached on purpose.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive_file.h"
#include "commands.h"
#include "core/archive_format.h"
#include "sha256.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

using ctl::archive::Digest;

std::string digestOf(std::string_view text, size_t pieces = 1) {
  ctl::Sha256 sha;
  size_t step = text.size() / pieces + 1;
  for (size_t at = 0; at < text.size(); at += step) {
    std::string_view piece = text.substr(at, step);
    sha.update({reinterpret_cast<const uint8_t*>(piece.data()), piece.size()});
  }
  std::string hex = ctl::digestHex(sha.finish());
  EXPECT_EQ(sha.error(), "");
  return hex;
}

TEST(CtlSha256, KnownDigestsWholeAndInPieces) {
  EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string million(1000000, 'a');
  const std::string expected = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(digestOf(million), expected);
  EXPECT_EQ(digestOf(million, 7), expected) << "pieces hash as the whole";
  {
    SCOPED_TRACE("one calculator, reset between files, as the backup uses it");
    ctl::Sha256 sha;
    sha.update({reinterpret_cast<const uint8_t*>("garbage"), 7});
    sha.reset();
    sha.update({reinterpret_cast<const uint8_t*>("abc"), 3});
    EXPECT_EQ(ctl::digestHex(sha.finish()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    sha.reset();
    EXPECT_EQ(ctl::digestHex(sha.finish()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  }
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readFile(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "<missing>";
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

void writeFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

class Folder {
 public:
  explicit Folder(const std::string& path) : path_(path) {
    removeTree(path_);
    CreateDirectoryA("C:\\ferrytest", nullptr);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() { removeTree(path_); }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

TEST(CtlArchiveFile, TheArchiveNameAppearsOnlyAtCommit) {
  Folder folder("C:\\ferrytest\\ctl_partial");
  const std::string archive = folder.file("a.fya");
  const std::vector<uint8_t> big(5u << 20, 0x5a);  // more than the write buffer
  {
    SCOPED_TRACE("commit: the data under the archive's name, no partial file left");
    ctl::PartialArchiveFile file;
    ASSERT_EQ(file.create(archive), "");
    EXPECT_TRUE(exists(archive + ".partial"));
    ASSERT_TRUE(file.write(std::span(big).first(100)));
    ASSERT_TRUE(file.write(big));
    EXPECT_FALSE(exists(archive)) << "no archive before the commit";
    ASSERT_EQ(file.commit(), "");
    EXPECT_FALSE(exists(archive + ".partial"));
    EXPECT_EQ(readFile(archive).size(), 100 + big.size());
  }
  {
    SCOPED_TRACE("abandon: the older archive of that name stays as it was");
    writeFile(archive, "older");
    {
      ctl::PartialArchiveFile file;
      ASSERT_EQ(file.create(archive), "");
      ASSERT_TRUE(file.write(big));
    }  // destroyed without a commit
    EXPECT_EQ(readFile(archive), "older");
    EXPECT_FALSE(exists(archive + ".partial"));
  }
  {
    SCOPED_TRACE("a folder that does not exist");
    ctl::PartialArchiveFile file;
    std::string error = file.create(folder.file("none\\a.fya"));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_NE(error.find("error 3"), std::string::npos) << error;
  }
}

TEST(CtlNegotiation, TheBufferGrowsToTheSizeTheAgentAsksFor) {
  std::vector<uint8_t> buffer;
  uint32_t reported = 0;
  std::vector<uint32_t> given;
  {
    SCOPED_TRACE("500 with a larger size: asked again with a zeroed buffer of that size");
    given.clear();
    DSA_RESULT result =
        ctl::negotiateBuffer(16, buffer, &reported, [&](uint8_t* data, uint32_t* size) {
          given.push_back(*size);
          for (uint32_t i = 0; i < *size; ++i) {
            if (data[i] != 0) ADD_FAILURE() << "byte " << i << " of the buffer is not zero";
          }
          if (*size < 40000) {
            std::memset(data, 0xbd, *size);  // an agent that scribbles before it refuses
            *size = 40000;
            return DSA_ERROR_BUFFER_TOO_SMALL;
          }
          std::memcpy(data, "done", 5);
          *size = 5;
          return DSA_OK;
        });
    EXPECT_EQ(result, DSA_OK);
    EXPECT_EQ(given, (std::vector<uint32_t>{16, 40000}));
    EXPECT_EQ(reported, 5u);
    EXPECT_EQ(buffer.size(), 40000u);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "done");
  }
  {
    SCOPED_TRACE("an agent that asks for no more than it was given ends the negotiation");
    given.clear();
    DSA_RESULT result = ctl::negotiateBuffer(64, buffer, &reported, [&](uint8_t*, uint32_t* size) {
      given.push_back(*size);
      *size = 64;
      return DSA_ERROR_BUFFER_TOO_SMALL;
    });
    EXPECT_EQ(result, DSA_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(given.size(), 1u);
  }
  {
    SCOPED_TRACE("more than 64 MiB is not granted");
    given.clear();
    DSA_RESULT result = ctl::negotiateBuffer(64, buffer, &reported, [&](uint8_t*, uint32_t* size) {
      given.push_back(*size);
      *size = (64u << 20) + 1;
      return DSA_ERROR_BUFFER_TOO_SMALL;
    });
    EXPECT_EQ(result, DSA_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(given.size(), 1u);
    EXPECT_EQ(reported, (64u << 20) + 1) << "the caller sees what the agent asked for";
  }
  {
    SCOPED_TRACE("other results end it at once");
    given.clear();
    DSA_RESULT result = ctl::negotiateBuffer(64, buffer, &reported, [&](uint8_t*, uint32_t*) {
      given.push_back(0);
      return DSA_ERROR_TEMPLATE_OR_SESSION;
    });
    EXPECT_EQ(result, DSA_ERROR_TEMPLATE_OR_SESSION);
    EXPECT_EQ(given.size(), 1u);
  }
}

// ---- ferryctl.exe against the scripted agent ----

struct CtlRun {
  ProcessResult process;
  std::string out;
  std::string err;
  std::string describe() const {
    return "exit " + std::to_string(process.exitCode) + "\nstdout: " + out + "\nstderr: " + err;
  }
};

std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

class FakeAgentConsole : public testing::Test {
 protected:
  void SetUp() override {
    fake_ = LoadLibraryA((binDir() + "\\ctl_fake_agent.dll").c_str());
    ASSERT_NE(fake_, nullptr) << "error " << GetLastError();
    fakeByte_ = reinterpret_cast<uint8_t (*)(uint32_t, uint32_t)>(
        reinterpret_cast<void*>(GetProcAddress(fake_, "FakeByte")));
    ASSERT_NE(fakeByte_, nullptr);
    SetEnvironmentVariableA("CTL_FAKE_LOG", log_.c_str());
    SetEnvironmentVariableA("CTL_FAKE_MODE", nullptr);
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", "pw");  // the scripted agent takes any
  }
  void TearDown() override {
    SetEnvironmentVariableA("CTL_FAKE_LOG", nullptr);
    SetEnvironmentVariableA("CTL_FAKE_MODE", nullptr);
    SetEnvironmentVariableA("FERRYCTL_PASSWORD", nullptr);
    if (fake_ != nullptr) FreeLibrary(fake_);
  }

  CtlRun ferryctl(const std::string& arguments) {
    DeleteFileA(log_.c_str());
    CtlRun run;
    run.process = runProcess("\"" + binDir() + "\\ferryctl.exe\" --agent \"" + binDir() +
                             "\\ctl_fake_agent.dll\" " + arguments);
    run.out = withoutCarriageReturns(run.process.out);
    run.err = withoutCarriageReturns(run.process.err);
    return run;
  }
  std::string calls() const { return withoutCarriageReturns(readFile(log_)); }

  std::string fakeData(uint32_t index, uint32_t size) const {
    std::string data(size, '\0');
    for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<char>(fakeByte_(index, i));
    return data;
  }

  // A folder per case: the cases run in parallel.
  Folder folder_{"C:\\ferrytest\\ctl_" +
                 std::string(testing::UnitTest::GetInstance()->current_test_info()->name())};
  const std::string log_ = folder_.file("calls.log");
  const std::string archive_ = folder_.file("fake.fya");
  HMODULE fake_ = nullptr;
  uint8_t (*fakeByte_)(uint32_t, uint32_t) = nullptr;
};

// Everything an archive holds, read with the SHA-256 check.
struct ArchiveFile {
  std::string path;
  std::string data;
};
struct ArchiveObject {
  std::string name;
  uint32_t kind = 0;
  uint32_t options = 0;
  std::vector<ArchiveFile> files;
};

class Reader final : public ctl::archive::ArchiveVisitor {
 public:
  bool onObject(const ctl::archive::ObjectInfo& o) override {
    objects.push_back({o.name, static_cast<uint32_t>(o.kind), o.options, {}});
    return true;
  }
  bool onFile(const ctl::archive::ObjectHeader& h) override {
    objects.back().files.push_back({ctl::archive::objectHeaderPath(h), {}});
    return true;
  }
  bool onData(std::span<const uint8_t> d) override {
    objects.back().files.back().data.append(reinterpret_cast<const char*>(d.data()), d.size());
    return true;
  }
  std::vector<ArchiveObject> objects;
};

std::string readArchive(const std::string& path, std::vector<ArchiveObject>* objects) {
  ctl::ArchiveFileSource source;
  if (std::string error = source.open(path); !error.empty()) return error;
  ctl::Sha256 sha;
  Reader reader;
  ctl::archive::ReadResult result = ctl::archive::readArchive(source, reader, &sha);
  *objects = reader.objects;
  return result.ok() ? "" : result.message;
}

TEST_F(FakeAgentConsole, BackupOfADatabaseSavesEveryObjectInCatalogueOrder) {
  CtlRun run = ferryctl("backup s@FK ingres " + archive_ + " --database fake --option-bits 10");
  ASSERT_EQ(run.process.exitCode, 0u) << run.describe();
  EXPECT_EQ(run.err, "") << "no progress when standard error is not a terminal";
  EXPECT_EQ(calls(),
            "connect\n"
            "begin fake.DATA 16\nend 0\n"
            "begin fake.~CONFIG 16\nend 0\n"
            "begin ~JOURNAL OF DATABASE fake 16\nend 0\n"
            "disconnect 7\n")
      << "one connection, data before configuration before journals";
  EXPECT_NE(run.out.find("saved fake.DATA: 2 files, 5000 bytes\n"), std::string::npos)
      << run.describe();
  EXPECT_NE(run.out.find("saved fake.~CONFIG: 1 file, 1500 bytes\n"), std::string::npos);
  EXPECT_NE(run.out.find("saved ~JOURNAL OF DATABASE fake: 0 files, 0 bytes\n"), std::string::npos);
  EXPECT_NE(run.out.find(": 3 objects, 3 files, 6500 bytes of data"), std::string::npos);
  EXPECT_FALSE(exists(archive_ + ".partial"));

  std::vector<ArchiveObject> objects;
  ASSERT_EQ(readArchive(archive_, &objects), "");
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0].name, "fake.DATA") << "the agent's cut at the '.' must not reach it";
  EXPECT_EQ(objects[0].kind, 2u);
  EXPECT_EQ(objects[0].options, 0x10u);
  EXPECT_EQ(objects[1].name, "fake.~CONFIG");
  EXPECT_EQ(objects[1].kind, 8u);
  EXPECT_EQ(objects[2].name, "~JOURNAL OF DATABASE fake");
  EXPECT_EQ(objects[2].kind, 6u);
  EXPECT_TRUE(objects[2].files.empty());
  ASSERT_EQ(objects[0].files.size(), 2u);
  EXPECT_EQ(objects[0].files[0].path, "C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00");
  EXPECT_TRUE(objects[0].files[0].data == fakeData(0, 5000)) << "data differ";
  EXPECT_EQ(objects[0].files[1].data, "");
  ASSERT_EQ(objects[1].files.size(), 1u);
  EXPECT_TRUE(objects[1].files[0].data == fakeData(2, 1500)) << "data differ";

  {
    SCOPED_TRACE("restore --list shows the objects, files and checksums");
    CtlRun list = ferryctl("restore --list " + archive_);
    ASSERT_EQ(list.process.exitCode, 0u) << list.describe();
    EXPECT_NE(list.out.find("object fake.DATA (database data, option bits 0x10): 2 files, "
                            "5000 bytes\n  C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00  5000 bytes"
                            "  sha256 " +
                            digestOf(fakeData(0, 5000))),
              std::string::npos)
        << list.describe();
    EXPECT_NE(list.out.find("agent: Fake Server"), std::string::npos) << list.describe();
    EXPECT_NE(list.out.find("3 objects, 3 files, 6500 bytes; every length and checksum"),
              std::string::npos)
        << list.describe();
  }
}

TEST_F(FakeAgentConsole, NamedObjectsAreTakenInCatalogueOrder) {
  CtlRun run =
      ferryctl("backup s@FK ingres " + archive_ + " \"~JOURNAL OF DATABASE fake\" fake.DATA");
  ASSERT_EQ(run.process.exitCode, 0u) << run.describe();
  EXPECT_EQ(calls(),
            "connect\nbegin fake.DATA 0\nend 0\nbegin ~JOURNAL OF DATABASE fake 0\nend 0\n"
            "disconnect 7\n");
  std::vector<ArchiveObject> objects;
  ASSERT_EQ(readArchive(archive_, &objects), "");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[1].name, "~JOURNAL OF DATABASE fake");
}

TEST_F(FakeAgentConsole, AFailedObjectLeavesNoArchiveAndEndsTheBackup) {
  writeFile(archive_, "older archive");
  {
    SCOPED_TRACE("a read error in the middle of a file");
    SetEnvironmentVariableA("CTL_FAKE_MODE", "read-error");
    CtlRun run = ferryctl("backup s@FK ingres " + archive_ + " --database fake");
    EXPECT_EQ(run.process.exitCode, 1u) << run.describe();
    EXPECT_NE(run.err.find("DSARead(fake.DATA) while reading "
                           "C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00 failed: 1: fake text of 1"),
              std::string::npos)
        << run.describe();
    EXPECT_EQ(calls(), "connect\nbegin fake.DATA 0\nend 1\ndisconnect 7\n")
        << "DSAEndBackup is still called, with the failure, and nothing more is begun";
    EXPECT_EQ(run.out.find("saved"), std::string::npos) << run.describe();
    EXPECT_EQ(readFile(archive_), "older archive") << "the archive of that name is untouched";
    EXPECT_FALSE(exists(archive_ + ".partial"));
  }
  {
    SCOPED_TRACE("a begin that fails");
    SetEnvironmentVariableA("CTL_FAKE_MODE", "begin-error");
    CtlRun run = ferryctl("backup s@FK ingres " + archive_ + " --database fake");
    EXPECT_EQ(run.process.exitCode, 1u) << run.describe();
    EXPECT_NE(run.err.find("DSABeginBackup(fake.~CONFIG) failed: 21: fake text of 21"),
              std::string::npos)
        << run.describe();
    EXPECT_EQ(calls(),
              "connect\nbegin fake.DATA 0\nend 0\nbegin fake.~CONFIG 0\nend 21\ndisconnect 7\n");
    EXPECT_EQ(readFile(archive_), "older archive");
    EXPECT_FALSE(exists(archive_ + ".partial"));
  }
  {
    SCOPED_TRACE("a database the agent does not offer");
    CtlRun run = ferryctl("backup s@FK ingres " + archive_ + " --database other");
    EXPECT_EQ(run.process.exitCode, 1u) << run.describe();
    EXPECT_NE(run.err.find("no objects of database 'other'"), std::string::npos) << run.describe();
    EXPECT_EQ(calls(), "connect\ndisconnect 7\n");
  }
}

TEST_F(FakeAgentConsole, RestoreReplaysOneSessionPerFileAndVerifies) {
  Folder restored("C:\\ferrytest\\ctl_fake");
  ASSERT_EQ(ferryctl("backup s@FK ingres " + archive_ + " --database fake").process.exitCode,
            0u);
  CtlRun run = ferryctl("restore " + archive_ + " s@FK ingres --option-bits 0x200");
  ASSERT_EQ(run.process.exitCode, 0u) << run.describe();
  EXPECT_EQ(calls(),
            "connect\n"
            "disconnect 7\n"
            "connect\n"
            "restore-begin fake.~CONFIG 512\n"
            "restore-header C:\\ferrytest\\ctl_fake\\dmp\\aaaaaaaa.cnf\n"
            "restore-end 0\n"
            "disconnect 7\n"
            "connect\n"
            "restore-begin fake.DATA 512\n"
            "restore-header C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00\n"
            "restore-end 0\n"
            "restore-begin fake.DATA 512\n"
            "restore-header C:\\ferrytest\\ctl_fake\\data\\aaaaaaac.t00\n"
            "restore-end 0\n"
            "disconnect 7\n")
      << "journals, then configuration, then data; each object on a connection of its own";
  EXPECT_NE(run.out.find("verified 3 files: all match the archive"), std::string::npos)
      << run.describe();
  EXPECT_TRUE(readFile("C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00") == fakeData(0, 5000));

  SetEnvironmentVariableA("CTL_FAKE_MODE", "restore-corrupt");
  run = ferryctl("restore " + archive_ + " s@FK ingres");
  EXPECT_EQ(run.process.exitCode, 5u) << run.describe();
  EXPECT_NE(run.out.find("differs: C:\\ferrytest\\ctl_fake\\data\\aaaaaaab.t00: archive 5000 "
                         "bytes sha256 " +
                         digestOf(fakeData(0, 5000))),
            std::string::npos)
      << run.describe();
  EXPECT_NE(run.out.find("verified 3 files: 2 differ"), std::string::npos) << run.describe();
}

TEST_F(FakeAgentConsole, ADamagedArchiveIsRefusedBeforeTheAgentSeesIt) {
  ASSERT_EQ(ferryctl("backup s@FK ingres " + archive_ + " --database fake").process.exitCode,
            0u);
  std::string bytes = readFile(archive_);
  {
    SCOPED_TRACE("cut short");
    writeFile(archive_, bytes.substr(0, bytes.size() - 10));
    CtlRun run = ferryctl("restore " + archive_ + " s@FK ingres");
    EXPECT_EQ(run.process.exitCode, 4u) << run.describe();
    EXPECT_NE(run.err.find("truncated archive"), std::string::npos) << run.describe();
    EXPECT_NE(run.err.find("nothing restored"), std::string::npos) << run.describe();
    EXPECT_EQ(calls(), "<missing>") << "no agent call at all";
    run = ferryctl("restore --list " + archive_);
    EXPECT_EQ(run.process.exitCode, 4u) << run.describe();
  }
  {
    SCOPED_TRACE("one data byte changed");
    std::string changed = bytes;
    size_t at = changed.find("FERRYMAN");  // the first file header; its data follow
    ASSERT_NE(at, std::string::npos);
    changed[at + 1024 + 8 + 100] ^= 0x40;
    writeFile(archive_, changed);
    CtlRun run = ferryctl("restore --list " + archive_);
    EXPECT_EQ(run.process.exitCode, 4u) << run.describe();
    EXPECT_NE(run.err.find("digest mismatch"), std::string::npos) << run.describe();
  }
}

}  // namespace
}  // namespace ferry::test
