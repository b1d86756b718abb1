#include "update/tests/PeImage.h"

#include <cstdint>
#include <stdexcept>

namespace mt::test {

namespace {

void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

constexpr size_t kPe = 0x80;
constexpr size_t kRaw = 0x200;     // file offset of the resource section
constexpr uint32_t kRva = 0x1000;  // its address in memory

}  // namespace

std::string PeImage(const PeImageLayout& layout) {
  std::string b(kRaw + 0x100, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPe);
  b.replace(kPe, 4, std::string("PE\0\0", 4));
  const size_t optionalSize = layout.pe64 ? 240 : 224;
  Put16(b, kPe + 4, layout.pe64 ? 0x8664 : 0x14C);
  Put16(b, kPe + 6, 1);  // one section
  Put16(b, kPe + 20, static_cast<uint32_t>(optionalSize));
  Put16(b, kPe + 22, 0x0102);
  const size_t opt = kPe + 24;
  Put16(b, opt, layout.pe64 ? 0x20B : 0x10B);
  const size_t count = opt + (layout.pe64 ? 108 : 92);
  Put32(b, count, 16);
  const size_t resourceEntry = count + 4 + 2 * 8;
  Put32(b, resourceEntry, kRva);
  Put32(b, resourceEntry + 4, 0x100);
  const size_t section = opt + optionalSize;
  b.replace(section, 6, ".rsrc");
  Put32(b, section + 8, 0x100);  // virtual size
  Put32(b, section + 12, kRva);
  Put32(b, section + 16, 0x100);  // raw size
  Put32(b, section + 20, kRaw);

  // Type -> name -> language -> data entry -> VS_VERSIONINFO.
  const size_t r = kRaw;
  Put16(b, r + 14, 1);
  Put32(b, r + 16, layout.withVersion ? 16 : 14);  // RT_VERSION, or RT_GROUP_ICON
  Put32(b, r + 20, 0x80000000u | 0x18);
  Put16(b, r + 0x18 + 14, 1);
  Put32(b, r + 0x18 + 16, 1);
  Put32(b, r + 0x18 + 20, 0x80000000u | 0x30);
  Put16(b, r + 0x30 + 14, 1);
  Put32(b, r + 0x30 + 16, 0x804);
  Put32(b, r + 0x30 + 20, 0x48);
  const size_t info = 0x58, infoSize = 92;
  Put32(b, r + 0x48, kRva + info);
  Put32(b, r + 0x48 + 4, infoSize);
  const size_t v = r + info;
  Put16(b, v, infoSize);
  Put16(b, v + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) Put16(b, v + 6 + i * 2, static_cast<uint8_t>(key[i]));
  const size_t fixed = v + 40;
  Put32(b, fixed, 0xFEEF04BD);
  Put32(b, fixed + 4, 0x00010000);
  Put32(b, fixed + 8, (uint32_t{layout.file[0]} << 16) | layout.file[1]);
  Put32(b, fixed + 12, (uint32_t{layout.file[2]} << 16) | layout.file[3]);
  Put32(b, fixed + 16, (uint32_t{layout.product[0]} << 16) | layout.product[1]);
  Put32(b, fixed + 20, (uint32_t{layout.product[2]} << 16) | layout.product[3]);
  if (b.size() < layout.minimumSize) b.resize(layout.minimumSize, 'x');
  return b;
}

std::string InstallerImage(const std::string& version, size_t minimumSize) {
  const std::optional<VersionNumber> v = ParseReleaseVersion(version);
  if (!v) throw std::invalid_argument("no release version: " + version);
  PeImageLayout layout;
  layout.file = layout.product = *v;
  layout.minimumSize = minimumSize;
  return PeImage(layout);
}

}  // namespace mt::test
