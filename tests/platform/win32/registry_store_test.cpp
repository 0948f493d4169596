#include <gtest/gtest.h>

#include <string>

#include "platform/win32/registry_store.h"

using namespace win32::regstore;

TEST(RegistryStore, AwkwardNamesAndBytesSurviveTheTextForm) {
  Store s;
  s.EnsureKey("Software\\A]b%c\xE9\x01");
  s.EnsureKey("Control Panel\\Desktop");
  Key& k = s.keys[0];  // taken after the last EnsureKey, which may move the keys
  k.values.push_back({"", 1, std::string("plain\0", 6)});
  k.values.push_back({"quote\"back\\slash\n", 1, std::string("t\xC0\"\\\x7F\0", 6)});
  k.values.push_back({"embedded nul", 1, std::string("a\0b\0", 4)});  // not a plain string
  k.values.push_back({"no terminator", 1, "abc"});
  k.values.push_back({"dword", 4, std::string("\x78\x56\x34\x12", 4)});
  k.values.push_back({"short dword", 4, "\x01"});
  k.values.push_back({"empty", 3, ""});
  k.values.push_back({"qword", 11, std::string("\0\xFF\0\xFF\0\xFF\0\xFF", 8)});

  std::string text = Serialize(s);
  for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
  EXPECT_NE(text.find("\"dword\"=dword:12345678\n"), std::string::npos);
  EXPECT_NE(text.find("\"\"=sz:\"plain\"\n"), std::string::npos);

  auto back = Parse(text);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->keys.size(), 2u);
  EXPECT_EQ(back->keys[0].path, s.keys[0].path);
  ASSERT_EQ(back->keys[0].values.size(), k.values.size());
  for (std::size_t i = 0; i < k.values.size(); ++i) {
    EXPECT_EQ(back->keys[0].values[i].name, k.values[i].name) << i;
    EXPECT_EQ(back->keys[0].values[i].type, k.values[i].type) << i;
    EXPECT_EQ(back->keys[0].values[i].data, k.values[i].data) << i;
  }
  EXPECT_EQ(Serialize(*back), text);
}

TEST(RegistryStore, AnythingButACompleteStoreIsRejected) {
  const std::string head = "HOARDEL3D REGISTRY 1\n";
  EXPECT_TRUE(Parse(head + "END\n").has_value());
  EXPECT_TRUE(Parse(head + "[K]\n\"v\"=dword:00000001\nEND\n").has_value());
  const char* bad[] = {
      "",
      "HOARDEL3D REGISTRY 2\nEND\n",                          // other version
      "[K]\nEND\n",                                           // no header
      "HOARDEL3D REGISTRY 1\n[K]\n",                          // cut before END
      "HOARDEL3D REGISTRY 1\nEND",                            // last line without LF
      "HOARDEL3D REGISTRY 1\nEND\n[K]\nEND\n",                // text after END
      "HOARDEL3D REGISTRY 1\n\"v\"=dword:00000001\nEND\n",    // value outside a key
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=dword:1\nEND\n",      // short number
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=sz:\"a\\q\"\nEND\n",  // unknown escape
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=sz:\"a\nEND\n",       // open quote
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=hex(3):01,\nEND\n",   // trailing comma
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=hex(3):1\nEND\n",     // half a byte
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=text:x\nEND\n",       // unknown form
      "HOARDEL3D REGISTRY 1\n[K]\n\"v\"=dword:00000001\n\"V\"=dword:00000002\nEND\n",  // duplicate
      "HOARDEL3D REGISTRY 1\n[K]\n[k]\nEND\n",                // duplicate key
      "HOARDEL3D REGISTRY 1\n[K%4]\nEND\n",                   // bad path escape
  };
  for (const char* text : bad) EXPECT_FALSE(Parse(text).has_value()) << text;
}

TEST(RegistryStore, KeysExistThroughTheirDescendants) {
  Store s;
  s.EnsureKey("Software\\Quillon\\Hoardel 3D Screensaver");
  EXPECT_TRUE(s.KeyExists(""));
  EXPECT_TRUE(s.KeyExists("software"));
  EXPECT_TRUE(s.KeyExists("Software\\QUILLON"));
  EXPECT_FALSE(s.KeyExists("Soft"));
  EXPECT_FALSE(s.KeyExists("Software\\Quillon\\Hoardel"));
  EXPECT_FALSE(s.KeyExists("Software\\Quillon\\Hoardel 3D Screensaver\\More"));
  EXPECT_EQ(&s.EnsureKey("SOFTWARE\\quillon\\hoardel 3d screensaver"), &s.keys[0]);
}
