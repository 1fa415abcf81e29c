// The module's resources, as compiled into this executable from the same
// resource script as the extension.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Resources, CaptionStringsComeBackAsSystemCodePageBytes) {
  static const struct {
    unsigned id;
    const char* text;
  } cases[] = {
      {101, "Downloading"},   {102, "Extracting"},     {103, "Downloaden"},   {104, "Uitpakken"},
      {105, "Download bei"},  {106, "Extraktion bei"}, {107, "Chargement"},   {108, "Extraction en cours "},
      {109, "Descargando"},   {110, "Extrayendo"},     {111, "Scaricamento"}, {112, "Estrazione"},
      {113, "H\xE4mtar hem"}, {114, "Packar upp"},
  };
  ASSERT_EQ(::GetACP(), 1252u) << "the expected bytes are Windows-1252";
  for (const auto& c : cases) {
    char text[100];
    const int length = ::LoadStringA(::GetModuleHandleA(nullptr), c.id, text, sizeof text);
    EXPECT_EQ(std::string(text, length > 0 ? length : 0), c.text) << c.id;
  }
}

TEST(Resources, LogoIsA235By100PalettizedBitmapNamedIdbLogo) {
  HMODULE module = ::GetModuleHandleA(nullptr);
  HRSRC found = ::FindResourceA(module, "IDB_LOGO", MAKEINTRESOURCEA(2));  // RT_BITMAP
  ASSERT_NE(found, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(module, found)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biWidth, 235);
  EXPECT_EQ(header->biHeight, 100);
  EXPECT_EQ(header->biBitCount, 8);
  EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));

  // Its edge is the screen's background, so the logo's rectangle does not
  // show on it.
  const RGBQUAD* palette = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const char*>(header) + header->biSize);
  const unsigned colors = header->biClrUsed != 0 ? header->biClrUsed : 256;
  const auto* pixels = reinterpret_cast<const unsigned char*>(palette + colors);
  const int stride = (235 + 3) & ~3;
  for (int row : {0, 99}) {
    for (int x : {0, 117, 234}) {
      const RGBQUAD& color = palette[pixels[row * stride + x]];
      EXPECT_EQ(color.rgbRed, 0x33) << row << "," << x;
      EXPECT_EQ(color.rgbGreen, 0x33);
      EXPECT_EQ(color.rgbBlue, 0x33);
    }
  }
}

}  // namespace
