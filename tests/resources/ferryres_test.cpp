// ferryres.dll: one text for every result code, activity entry and property label the agent
// uses, each activity template with exactly the printf conversions its callers pass.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/message_ids.h"
#include "support/win_process.h"

namespace ferry::test {
namespace {

// The result codes the agent returns and looks up in the library, as reviewed here; the
// header's list (kResultTexts) must name the same codes.
const std::set<uint32_t> kResultCodes = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  12, 14, 15, 16, 17, 18,  20,  21,   22,   23,   24,
    25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 50, 68, 77, 85, 300, 500, 4095, 9999, 10000};

// Every activity entry and the arguments its callers pass, in order: 's' a text, 'n' a 32-bit
// number. Kept apart from message_ids.h on purpose: the header is checked against this too.
const std::map<uint32_t, std::string> kActivityArguments = {
    {28, ""},   {29, ""},    {31, ""},    {35, "s"},  {36, ""},    {39, "n"},   {40, "s"},
    {44, "n"},  {52, "n"},   {53, ""},    {54, "s"},  {59, ""},    {62, ""},    {63, ""},
    {64, ""},   {65, ""},    {66, "s"},   {67, ""},   {68, ""},    {69, ""},    {70, ""},
    {71, ""},   {72, ""},    {73, ""},    {74, ""},   {75, ""},    {76, ""},    {77, ""},
    {78, ""},   {79, ""},    {84, ""},    {85, ""},   {86, ""},    {90, "n"},   {91, "n"},
    {92, "n"},  {93, "sn"},  {94, "sn"},  {95, "n"},  {96, "sn"},  {97, ""},    {99, ""},
    {100, ""},  {101, "n"},  {102, "n"},  {103, "n"}, {104, "ns"}, {105, "ss"}, {106, "s"},
    {107, "n"}, {108, "n"},  {109, "n"},  {110, "s"}, {111, "s"},  {112, "sn"}, {113, "sn"},
    {114, "n"}, {115, "ns"}, {116, "s"},  {117, "s"}, {118, "nn"}, {119, "sn"}, {120, "s"},
    {130, "s"}, {131, "s"},  {132, "sn"}, {300, ""},
};

const uint32_t kLabels[] = {301, 302, 303, 304, 305, 306, 307};

// The argument kinds of a printf template: 's' for %s, 'n' for a 32-bit integer conversion
// (d, i, u, x, X, o, optionally with one 'l', which is 32 bits on Windows). Anything else that
// follows a '%' (a '*' width, %ls, %lld, %I64d, %p, %f, %c, %n, a trailing '%') makes the
// template unfit for Log_act: false with the reason in *error.
bool templateArguments(const std::string& text, std::string* kinds, std::string* error) {
  kinds->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    const size_t start = i++;
    auto bad = [&](const char* why) {
      *error = std::string(why) + " at offset " + std::to_string(start) + ": '" +
               text.substr(start, i - start + 1) + "'";
      return false;
    };
    if (i < text.size() && text[i] == '%') continue;
    while (i < text.size() && std::string("-+ #0").find(text[i]) != std::string::npos) ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i < text.size() && text[i] == '.') {
      ++i;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    }
    if (i < text.size() && text[i] == '*') return bad("a '*' takes an argument of its own");
    bool isLong = false;
    if (i < text.size() && text[i] == 'l') {
      isLong = true;
      ++i;
    }
    if (i >= text.size()) return bad("conversion cut off");
    const char conversion = text[i];
    if (conversion == 's' && !isLong) {
      *kinds += 's';
    } else if (std::string("diuxXo").find(conversion) != std::string::npos) {
      *kinds += 'n';
    } else {
      return bad("conversion that no caller passes");
    }
  }
  return true;
}

// The parser is what holds the templates to their argument lists: check it first.
TEST(FerryresTexts, TemplateParserReadsConversions) {
  struct Case {
    const char* text;
    bool ok;
    const char* kinds;
  } cases[] = {
      {"plain", true, ""},
      {"100%% sure", true, ""},
      {"%s and %d", true, "sn"},
      {"%lu then %-10s then %08X", true, "nsn"},
      {"%5.2d%i%o%x%%", true, "nnnn"},
      {"%*d", false, ""},
      {"%ls", false, ""},
      {"%lld", false, ""},
      {"%I64d", false, ""},
      {"%p", false, ""},
      {"%c", false, ""},
      {"%n", false, ""},
      {"%f", false, ""},
      {"ends in %", false, ""},
  };
  for (const Case& c : cases) {
    std::string kinds, error;
    bool ok = templateArguments(c.text, &kinds, &error);
    EXPECT_EQ(ok, c.ok) << "'" << c.text << "': " << error;
    if (c.ok) {
      EXPECT_EQ(kinds, c.kinds) << "'" << c.text << "'";
    }
  }
}

class FerryresLibrary : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A plain load, as the agent does it: the library has no entry point to run.
    module_ = LoadLibraryA(path().c_str());
    ASSERT_NE(module_, nullptr) << path() << ": error " << GetLastError();
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  static std::string path() { return binDir() + "\\ferryres.dll"; }

  // The text as the agent reads it (a 256-byte buffer), with the length LoadStringA reports.
  static std::string text(uint32_t id, int* length = nullptr) {
    char buffer[messages::kTextBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), '\xbd');
    int n = LoadStringA(module_, id, buffer, sizeof buffer);
    if (length != nullptr) *length = n;
    return n > 0 ? std::string(buffer, n) : std::string();
  }

  // The length stored in the table, whatever the buffer: LoadStringW with size 0 returns a
  // pointer into the resource itself.
  static int storedLength(uint32_t id) {
    const wchar_t* resource = nullptr;
    return LoadStringW(module_, id, reinterpret_cast<wchar_t*>(&resource), 0);
  }

  static HMODULE module_;
};

HMODULE FerryresLibrary::module_ = nullptr;

TEST_F(FerryresLibrary, ResultCodesHavePlainTexts) {
  const std::set<uint32_t> listed(std::begin(messages::kResultTexts),
                                  std::end(messages::kResultTexts));
  EXPECT_EQ(listed, kResultCodes) << "message_ids.h lists other result codes than reviewed";
  for (uint32_t code : kResultCodes) {
    int length = -1;
    const std::string message = text(code, &length);
    EXPECT_GT(length, 0) << "result code " << code << " has no text";
    EXPECT_LT(storedLength(code), messages::kTextBufferSize)
        << "result code " << code << " is cut by the agent's buffer: " << message;
    EXPECT_EQ(static_cast<int>(message.size()), length) << "code " << code;
    // DSAGetError returns the text as it is: a conversion would reach the backup server raw.
    std::string kinds, error;
    EXPECT_TRUE(templateArguments(message, &kinds, &error) && kinds.empty())
        << "result code " << code << " holds conversions '" << kinds << "' " << error << ": "
        << message;
  }
  {
    SCOPED_TRACE("68 is shown with the text of 25, and both exist");
    EXPECT_GT(text(25).size(), 0u);
    EXPECT_GT(text(68).size(), 0u);
  }
}

TEST_F(FerryresLibrary, ActivityTemplatesMatchTheirArguments) {
  for (const auto& [id, expected] : kActivityArguments) {
    int length = -1;
    const std::string message = text(id, &length);
    EXPECT_GT(length, 0) << "activity entry " << id << " has no text";
    EXPECT_LT(storedLength(id), messages::kTextBufferSize)
        << "activity entry " << id << " is cut by Log_act's buffer: " << message;
    std::string kinds, error;
    ASSERT_TRUE(templateArguments(message, &kinds, &error))
        << "activity entry " << id << ": " << error << " in: " << message;
    EXPECT_EQ(kinds, expected) << "activity entry " << id << ": " << message;
  }
  {
    SCOPED_TRACE("a sample entry formats as Log_act formats it");
    const std::string templ = text(messages::kActivityFileNotOpened);
    char line[1024];
    std::snprintf(line, sizeof line, templ.c_str(), "C:\\x\\aaaaaaab.t00", 32ul);
    EXPECT_NE(std::string(line).find("C:\\x\\aaaaaaab.t00"), std::string::npos) << line;
    EXPECT_NE(std::string(line).find("32"), std::string::npos) << line;
  }
}

TEST_F(FerryresLibrary, HeaderListsTheSameArguments) {
  std::set<uint32_t> seen;
  for (const messages::ActivityArguments& entry : messages::kActivityArguments) {
    EXPECT_TRUE(seen.insert(entry.id).second) << "id " << entry.id << " listed twice";
    auto it = kActivityArguments.find(entry.id);
    if (it == kActivityArguments.end()) {
      ADD_FAILURE() << "message_ids.h lists " << entry.id << ", which is no activity entry";
      continue;
    }
    EXPECT_EQ(std::string(entry.kinds), it->second) << "message_ids.h, id " << entry.id;
  }
  EXPECT_EQ(seen.size(), kActivityArguments.size()) << "message_ids.h misses activity entries";
  std::string_view kinds = "unchanged";
  EXPECT_FALSE(messages::activityArguments(301, &kinds));
  EXPECT_EQ(kinds, "unchanged");
  EXPECT_TRUE(messages::activityArguments(104, &kinds));
  EXPECT_EQ(kinds, "ns");
}

TEST_F(FerryresLibrary, PropertyLabelsFitTheirBuffer) {
  std::set<std::string> distinct;
  for (uint32_t id : kLabels) {
    char buffer[messages::kLabelBufferSize];
    int length = LoadStringA(module_, id, buffer, sizeof buffer);
    EXPECT_GT(length, 0) << "label " << id;
    EXPECT_LT(storedLength(id), messages::kLabelBufferSize) << "label " << id << " is cut";
    const std::string label(buffer, length > 0 ? length : 0);
    EXPECT_EQ(label.find('%'), std::string::npos) << "label " << id << ": " << label;
    distinct.insert(label);
  }
  EXPECT_EQ(distinct.size(), std::size(kLabels)) << "two labels share a text";
}

TEST_F(FerryresLibrary, UnknownIdsAreEmpty) {
  // 11, 13 and 98 sit in string blocks that exist, 1326 (a raw logon error) and 4000 in blocks that
  // do not, 10001 is system error 1 and never looked up here.
  for (uint32_t id : {11u, 13u, 98u, 1326u, 4000u, 10001u}) {
    int length = -1;
    const std::string message = text(id, &length);
    EXPECT_EQ(length, 0) << "id " << id << " reads '" << message << "'";
    EXPECT_EQ(storedLength(id), 0) << "id " << id;
  }
}

TEST_F(FerryresLibrary, IsResourceOnlyWithVersion) {
  {
    SCOPED_TRACE("no entry point and no imports: nothing of it runs in the agent's process");
    std::ifstream file(path(), std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image.size());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->OptionalHeader.AddressOfEntryPoint, 0u);
    // The linker always writes an export directory, and an import directory that may hold just
    // its terminating entry; both must list nothing.
    const auto* base = reinterpret_cast<const unsigned char*>(module_);
    const auto* loaded = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        loaded->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.Size != 0) {
      const auto* exports =
          reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
      EXPECT_EQ(exports->NumberOfFunctions, 0u);
      EXPECT_EQ(exports->NumberOfNames, 0u);
    }
    const IMAGE_DATA_DIRECTORY& imports =
        loaded->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size != 0) {
      const auto* first =
          reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
      EXPECT_EQ(first->Name, 0u) << "imports " << base + first->Name;
    }
  }
  {
    SCOPED_TRACE("a data-file load reads the same texts");
    HMODULE data = LoadLibraryExA(path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr) << GetLastError();
    char buffer[messages::kTextBufferSize];
    int length = LoadStringA(data, DSA_END_OF_OBJECT, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length > 0 ? length : 0), text(DSA_END_OF_OBJECT));
    FreeLibrary(data);
  }
  {
    SCOPED_TRACE("version resource");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path().c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path().c_str(), 0, size, info.data())) << GetLastError();
    char* name = nullptr;
    UINT nameLength = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &nameLength));
    EXPECT_STREQ(name, "ferryres.dll");
  }
}

}  // namespace
}  // namespace ferry::test
