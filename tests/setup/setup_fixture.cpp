#include "setup_fixture.h"

#include <sddl.h>
#include <wincrypt.h>

#include <fstream>
#include <sstream>

namespace ferry::test {

std::string RiggerApi::load(const std::string& path) {
  module = LoadLibraryA(path.c_str());
  if (module == nullptr) return "LoadLibrary " + path + ": error " + std::to_string(GetLastError());
  std::string missing;
  auto bind = [&](const char* name, auto& target) {
    target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(
        reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (target == nullptr) missing += std::string(" ") + name;
  };
  bind("CreateDBAgentSubKeys", CreateDBAgentSubKeys);
  bind("GetExistDBAgentSysInformation", GetExistDBAgentSysInformation);
  bind("Install", Install);
  bind("Uninstall", Uninstall);
  bind("ServerAccountDlg", ServerAccountDlg);
  bind("CreateSilentConfigIni", CreateSilentConfigIni);
  bind("CheckInstallInfo", CheckInstallInfo);
  bind("GetProductInfo", GetProductInfo);
  bind("CreateConfigProfile", CreateConfigProfile_);
  return missing.empty() ? "" : "unbound:" + missing;
}

RiggerApi::~RiggerApi() {
  if (module != nullptr) FreeLibrary(module);
}

void deleteKeyTree(const std::string& key) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

void ScopedProductBranch::clear() {
  for (const char* sub : {"\\DSAgent", "\\ProductDescriptors", "\\SetupSavedSettings"}) {
    deleteKeyTree(std::string(kProductRoot) + sub);
  }
  deleteKeyTree("SOFTWARE\\Norvane\\TidewellIT\\DSAgent");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\TidewellIT");  // only when empty
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductRoot);  // fails while another part keeps a key there
}

std::string StoredValue::text() const {
  std::string value = data;
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

DWORD StoredValue::number() const {
  DWORD value = 0;
  if (data.size() == sizeof value) memcpy(&value, data.data(), sizeof value);
  return value;
}

std::vector<StoredValue> storedValues(const std::string& keyName) {
  std::vector<StoredValue> values;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[4096];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    values.push_back(
        {std::string(name, nameSize), type, std::string(reinterpret_cast<char*>(data), dataSize)});
  }
  return values;
}

std::string valueNames(const std::vector<StoredValue>& values) {
  std::string text;
  for (const StoredValue& value : values) text += value.name + " ";
  return text;
}

const StoredValue* findValue(const std::vector<StoredValue>& values, const std::string& name) {
  for (const StoredValue& value : values) {
    if (_stricmp(value.name.c_str(), name.c_str()) == 0) return &value;
  }
  return nullptr;
}

bool keyExists(const std::string& keyName) {
  UniqueKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, key.put()) ==
         ERROR_SUCCESS;
}

namespace {
LONG writeValue(const std::string& keyName, const char* name, DWORD type, const void* data,
                DWORD size) {
  UniqueKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}
}  // namespace

LONG writeText(const std::string& key, const char* name, const std::string& text) {
  return writeValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

LONG writeNumber(const std::string& key, const char* name, DWORD number) {
  return writeValue(key, name, REG_DWORD, &number, sizeof number);
}

namespace {
// One DPAPI call on `data`: its output, or none with the error in *error.
template <typename Call>
bool protectCall(const std::string& data, Call call, std::string* result, DWORD* error) {
  DATA_BLOB in = {static_cast<DWORD>(data.size()),
                  reinterpret_cast<BYTE*>(const_cast<char*>(data.data()))};
  DATA_BLOB out = {};
  if (!call(&in, &out)) {
    *error = GetLastError();
    return false;
  }
  const UniqueLocalMemory<BYTE> owned(out.pbData);
  result->assign(reinterpret_cast<char*>(out.pbData), out.cbData);
  return true;
}
}  // namespace

std::string enciphered(const std::string& text) {
  std::string blob;
  DWORD error = 0;
  return protectCall(
             text,
             [](DATA_BLOB* in, DATA_BLOB* out) {
               return CryptProtectData(in, nullptr, nullptr, nullptr, nullptr,
                                       CRYPTPROTECT_LOCAL_MACHINE, out);
             },
             &blob, &error)
             ? blob
             : "";
}

std::string decipheredAccount(const std::string& blob, Entropy entropy) {
  // The test's own copy: keys written with it must decipher for as long as the agent exists, so
  // the setup's text may never change.
  static char accountEntropy[] = "Norvane Halyard Tidewell DSAgent Es 1";
  DATA_BLOB salt = {sizeof accountEntropy - 1, reinterpret_cast<BYTE*>(accountEntropy)};
  DATA_BLOB* used = entropy == Entropy::kAccount ? &salt : nullptr;
  std::string text;
  DWORD error = 0;
  if (!protectCall(
          blob,
          [used](DATA_BLOB* in, DATA_BLOB* out) {
            return CryptUnprotectData(in, nullptr, used, nullptr, nullptr,
                                      CRYPTPROTECT_UI_FORBIDDEN, out);
          },
          &text, &error)) {
    return "<error " + std::to_string(error) + ">";
  }
  for (char& c : text) {
    if (c == '\0') c = '|';
  }
  return text;
}

std::string keyDacl(const std::string& keyName) {
  UniqueKey key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, READ_CONTROL, key.put());
  if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
  std::string buffer(4096, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  rc = RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, buffer.data(), &size);
  if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
  UniqueLocalMemory<char> text;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(
          buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, text.put(), nullptr)) {
    return "<error " + std::to_string(GetLastError()) + ">";
  }
  return text.get();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

DWORD WINAPI DialogAnswer::watchForWindow(void* self) {
  auto* answer = static_cast<DialogAnswer*>(self);
  for (int i = 0; i < 200; ++i) {
    HWND window = FindWindowA(nullptr, answer->title_.c_str());
    DWORD process = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &process);
    if (window != nullptr && process == GetCurrentProcessId() && IsWindowVisible(window)) {
      answer->fill_(window);
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer->button_, BN_CLICKED), 0);
      answer->error_ = "";
      return 0;
    }
    Sleep(50);
  }
  answer->error_ = "no window titled '" + answer->title_ + "' within 10 s";
  return 1;
}

DialogAnswer::DialogAnswer(std::string title, std::function<void(HWND)> fill, int button)
    : title_(std::move(title)), fill_(std::move(fill)), button_(button) {
  thread_.reset(CreateThread(nullptr, 0, watchForWindow, this, 0, nullptr));
}

DialogAnswer::~DialogAnswer() { join(); }

std::string DialogAnswer::join() {
  if (thread_) {
    WaitForSingleObject(thread_.get(), 20000);
    thread_.reset();
  }
  return error_;
}

}  // namespace ferry::test
