// The setup's platform-free rules: installation codes, the configured test, agent key values and
// their order, the account text, and the configuration program's name and command line.
#include "rules/setup_text.h"

#include <gtest/gtest.h>

namespace ferry::setup {
namespace {

TEST(SetupText, InstallationCodesFromServiceNames) {
  EXPECT_EQ(installationCodeOf("Ingres_Database_II").value_or("<none>"), "II");
  EXPECT_EQ(installationCodeOf("Ingres_Database_I2").value_or("<none>"), "I2");
  EXPECT_EQ(installationCodeOf("ingres_database_ab").value_or("<none>"), "ab")
      << "service names compare without case";
  EXPECT_EQ(installationCodeOf("Old Ingres_Database_X9").value_or("<none>"), "X9")
      << "the marker may stand anywhere in the name";
  EXPECT_FALSE(installationCodeOf("Ingres_Database_")) << "a name that ends at the marker";
  EXPECT_FALSE(installationCodeOf("Ingres_Database")) << "no underscore after the marker";
  EXPECT_FALSE(installationCodeOf("IngresDatabaseII"));
}

TEST(SetupText, ConfiguredDbmsLines) {
  EXPECT_TRUE(isConfiguredDbmsLine("ii.host.config.dbms.260: COMPLETE"));
  EXPECT_TRUE(isConfiguredDbmsLine("ii.host.config.dbms.260:                        COMPLETE\r"))
      << "Ingres pads the value to a column and the file may end lines with CR LF";
  EXPECT_FALSE(isConfiguredDbmsLine("ii.host.config.dbms.260: INCOMPLETE"));
  EXPECT_FALSE(isConfiguredDbmsLine("ii.host.config.dbms.260: COMPLETE_NOT"));
  EXPECT_FALSE(isConfiguredDbmsLine("ii.host.config.dbms.260:"));
  EXPECT_FALSE(isConfiguredDbmsLine("ii.host.config.net.260: COMPLETE")) << "not the DBMS";
  EXPECT_FALSE(isConfiguredDbmsLine("ii.host.setup.note: see .config.dbms.: COMPLETE"))
      << "the marker must be in the key, not the value";
  EXPECT_FALSE(isConfiguredDbmsLine(""));
}

TEST(SetupText, AdministrativeShareAndLibraryPaths) {
  EXPECT_EQ(
      administrativeSharePath("DBHOST", "D:\\Ingres\\ingres\\files\\config.dat").value_or("<none>"),
      "\\\\DBHOST\\D$\\Ingres\\ingres\\files\\config.dat");
  EXPECT_FALSE(administrativeSharePath("DBHOST", "\\\\other\\share\\x"));
  EXPECT_FALSE(administrativeSharePath("", "C:\\x"));
  EXPECT_EQ(folderOfLibrary("C:\\a b\\ferryman.dll").value_or("<none>"), "C:\\a b\\");
  EXPECT_FALSE(folderOfLibrary("ferryman.dll"));
  EXPECT_EQ(agentLibraryPath("C:\\a"), "C:\\a\\ferryman.dll");
  EXPECT_EQ(agentLibraryPath("C:\\a\\"), "C:\\a\\ferryman.dll");
  EXPECT_EQ(agentKeyName("II"), "DSAgent\\CurrentVersion\\agent\\ferryman@II");
  EXPECT_EQ(agentKeyName(""), "DSAgent\\CurrentVersion\\agent\\ferryman");
}

std::string names(const std::vector<AgentValue>& values) {
  std::string text;
  for (const AgentValue& value : values) text += value.name + " ";
  return text;
}

TEST(SetupText, AgentKeyValuesInTheirOrder) {
  AgentKeyFacts facts;
  facts.code = "I2";
  facts.agentFolder = "C:\\Agent";
  facts.buildNumber = "101";
  facts.version = "1.0";
  facts.prodSubType = 7;
  facts.remotePipeAccounts = "MEDIA\\tape";
  std::vector<AgentValue> values = agentKeyValues(facts);
  ASSERT_EQ(names(values),
            "Name Type Dll Server BuildNumber Version RestoreDir Debug ProdSubType Em Es "
            "ProdSubType RemotePipeAccounts ");
  EXPECT_EQ(values[0].text, "Keelson Ingres Database Server-I2");
  EXPECT_EQ(values[2].text, "C:\\Agent\\ferryman.dll");
  EXPECT_EQ(values[4].text, "101");
  EXPECT_EQ(values[5].text, "1.0");
  EXPECT_EQ(values[8].number, 0u) << "the first ProdSubType is 0";
  EXPECT_EQ(values[9].number, 3u) << "Em of the per-installation layout";
  EXPECT_EQ(values[10].kind, AgentValue::Kind::kBytes);
  EXPECT_EQ(values[11].number, 7u) << "the caller's sub-type replaces the 0";
  EXPECT_EQ(values[12].text, "MEDIA\\tape");

  AgentKeyFacts single;
  single.agentFolder = "C:\\Agent\\";
  values = agentKeyValues(single);
  EXPECT_EQ(values[0].text, "Keelson Ingres Database Server");
  EXPECT_EQ(values[4].text, "012") << "no version stamp read";
  EXPECT_EQ(values[5].text, "6.62");
  EXPECT_EQ(values[9].number, 1u) << "Em of the single-installation layout";
}

TEST(SetupText, AccountTextRoundTripAndLimits) {
  std::string text, name, password;
  ASSERT_TRUE(accountText("ingres", "s3cret", &text));
  EXPECT_EQ(text, std::string("ingres\0s3cret", 13));
  ASSERT_TRUE(splitAccountText(text, &name, &password));
  EXPECT_EQ(name, "ingres");
  EXPECT_EQ(password, "s3cret");
  ASSERT_TRUE(splitAccountText(std::string("sa\0\0", 4), &name, &password))
      << "an empty password with a trailing zero byte";
  EXPECT_EQ(password, "");
  EXPECT_FALSE(accountText("", "x", &text));
  EXPECT_TRUE(accountText(std::string(256, 'n'), std::string(256, 'p'), &text));
  EXPECT_FALSE(accountText(std::string(257, 'n'), "", &text));
  EXPECT_FALSE(accountText("a", std::string(257, 'p'), &text));
  EXPECT_FALSE(accountText(std::string("a\0b", 3), "", &text)) << "a zero byte inside a name";
  name = "unchanged";
  EXPECT_FALSE(splitAccountText("no separator", &name, &password));
  EXPECT_FALSE(splitAccountText(std::string("\0pw", 3), &name, &password)) << "empty name";
  EXPECT_FALSE(splitAccountText(std::string("a\0b\0c", 5), &name, &password));
  EXPECT_EQ(name, "unchanged") << "a refused text writes nothing";
}

TEST(SetupText, ConfigurationProgramAndCommandLine) {
  EXPECT_EQ(configurationProgramName("dbacfg%s.exe", "0409"), "dbacfg0409.exe");
  EXPECT_EQ(configurationProgramName("dbacfg.exe", "0409"), "dbacfg.exe");
  EXPECT_EQ(configurationProgramName("dbacfg%s%s.exe", "0409"), "")
      << "a second placeholder is refused, never formatted";
  EXPECT_EQ(configurationProgramName("dbacfg%n.exe", "0409"), "");
  EXPECT_EQ(configurationCommandLine("C:\\Setup Files\\dbacfg.exe", "C:\\s.icf", "DBHOST", 2),
            "\"C:\\Setup Files\\dbacfg.exe\" /r:C:\\s.icf /w:C:\\s.icf /p:0 /m:DBHOST /s:2");
  EXPECT_EQ(profileCodeKey(3) + profileLoginKey(3) + profilePasswordKey(3),
            "SID3LoginID3Password3");
}

TEST(SetupText, VersionsFoldersAndHex) {
  EXPECT_EQ(majorVersionOf("6.62").value_or(-1), 6);
  EXPECT_EQ(majorVersionOf(" 10.1").value_or(-1), 10);
  EXPECT_FALSE(majorVersionOf("v8"));
  EXPECT_FALSE(majorVersionOf(""));
  EXPECT_TRUE(isAgentFolderAcceptable("C:\\Program Files\\NV\\Agent", 242));
  EXPECT_FALSE(isAgentFolderAcceptable("Agent", 242)) << "relative";
  EXPECT_FALSE(isAgentFolderAcceptable("\\\\server\\share\\Agent", 242)) << "not local";
  EXPECT_FALSE(isAgentFolderAcceptable("C:\\a|b", 242));
  EXPECT_FALSE(isAgentFolderAcceptable("C:\\a\\\\b", 242));
  EXPECT_TRUE(isAgentFolderAcceptable("C:\\" + std::string(239, 'a'), 242));
  EXPECT_FALSE(isAgentFolderAcceptable("C:\\" + std::string(240, 'a'), 242));
  std::string bytes;
  ASSERT_TRUE(fromHex(toHex(std::string("\x00\xff\x10z", 4)), &bytes));
  EXPECT_EQ(bytes, std::string("\x00\xff\x10z", 4));
  EXPECT_EQ(toHex("\x01\xab"), "01AB");
  EXPECT_FALSE(fromHex("ABC", &bytes));
  EXPECT_FALSE(fromHex("G0", &bytes));
}

}  // namespace
}  // namespace ferry::setup
