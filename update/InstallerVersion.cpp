#include "update/InstallerVersion.h"

#include <cstring>
#include <vector>

#include "app/Constants.h"

namespace mt {

namespace {

// Little-endian fields of a byte block read from the file.
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedFileInfoSize = 52;
constexpr size_t kMaxSections = 96;                // the loader's own limit
constexpr uint32_t kMaxVersionResource = 1 << 20;  // far above any real one
constexpr int kMaxEntries = 4096;                  // per resource directory

struct Section {
  uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class PeReader {
 public:
  explicit PeReader(const ReadFileAt& read) : read_(read) {}

  bool Read(uint64_t offset, void* data, size_t size) const { return read_(offset, data, size); }

  bool Headers() {
    uint8_t dos[64];
    if (!Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint32_t pe = U32(dos + 0x3C);
    uint8_t nt[24];
    if (!Read(pe, nt, sizeof nt) || std::memcmp(nt, "PE\0\0", 4) != 0) return false;
    const uint16_t sections = U16(nt + 6);
    const uint16_t optionalSize = U16(nt + 20);
    if (sections == 0 || sections > kMaxSections || optionalSize < 2) return false;
    std::vector<uint8_t> optional(optionalSize);
    if (!Read(uint64_t{pe} + 24, optional.data(), optional.size())) return false;
    size_t countAt = 0;
    switch (U16(optional.data())) {
      case 0x10B: countAt = 92; break;   // PE32
      case 0x20B: countAt = 108; break;  // PE32+
      default: return false;
    }
    if (optionalSize < countAt + 4) return false;
    const uint32_t directories = U32(optional.data() + countAt);
    const size_t entryAt = countAt + 4 + kResourceDirectoryIndex * 8;
    if (directories <= kResourceDirectoryIndex || optionalSize < entryAt + 8) return false;
    resourceRva_ = U32(optional.data() + entryAt);
    if (resourceRva_ == 0 || U32(optional.data() + entryAt + 4) == 0) return false;
    std::vector<uint8_t> table(size_t{sections} * 40);
    if (!Read(uint64_t{pe} + 24 + optionalSize, table.data(), table.size())) return false;
    for (size_t i = 0; i < sections; ++i) {
      const uint8_t* s = table.data() + i * 40;
      sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    return true;
  }

  // The file offset of `size` bytes at `rva`, all inside one section's data in the file.
  std::optional<uint64_t> OffsetOf(uint32_t rva, uint32_t size) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const uint64_t into = uint64_t{rva} - s.virtualAddress;
      if (into + size <= s.rawSize) return uint64_t{s.rawOffset} + into;
    }
    return std::nullopt;
  }

  // Reads `size` bytes at an offset inside the resource section.
  bool ReadResource(uint32_t offset, void* data, uint32_t size) const {
    if (offset > 0xFFFFFFFFu - resourceRva_) return false;
    const std::optional<uint64_t> at = OffsetOf(resourceRva_ + offset, size);
    return at && Read(*at, data, size);
  }

  // The entry of a resource directory with the ID `id`, or its first entry when `id` is
  // negative: the raw OffsetToData field.
  std::optional<uint32_t> Entry(uint32_t directory, long id) const {
    uint8_t head[16];
    if (!ReadResource(directory, head, sizeof head)) return std::nullopt;
    const uint32_t named = U16(head + 12), ids = U16(head + 14);
    if (named + ids > kMaxEntries) return std::nullopt;
    for (uint32_t i = 0; i < named + ids; ++i) {
      uint8_t entry[8];
      if (!ReadResource(directory + 16 + i * 8, entry, sizeof entry)) return std::nullopt;
      const uint32_t name = U32(entry);
      if (id < 0) return U32(entry + 4);
      if (!(name & 0x80000000u) && name == static_cast<uint32_t>(id)) return U32(entry + 4);
    }
    return std::nullopt;
  }

  uint32_t ResourceRva() const { return resourceRva_; }

 private:
  const ReadFileAt& read_;
  uint32_t resourceRva_ = 0;
  std::vector<Section> sections_;
};

constexpr uint32_t kSubdirectory = 0x80000000u;

// Parses VS_VERSIONINFO: its key "VS_VERSION_INFO", then the fixed part, 32-bit aligned.
std::optional<FixedFileVersion> ParseVersionInfo(const std::vector<uint8_t>& block) {
  static const char kKey[] = "VS_VERSION_INFO";
  const size_t keyChars = sizeof kKey;  // with its terminating NUL
  const size_t keyEnd = 6 + keyChars * 2;
  const size_t valueAt = (keyEnd + 3) & ~size_t{3};
  if (block.size() < valueAt + kFixedFileInfoSize) return std::nullopt;
  const uint16_t length = U16(block.data());
  const uint16_t valueLength = U16(block.data() + 2);
  if (length < valueAt + kFixedFileInfoSize || length > block.size() ||
      valueLength < kFixedFileInfoSize) {
    return std::nullopt;
  }
  for (size_t i = 0; i < keyChars; ++i) {
    if (U16(block.data() + 6 + i * 2) != static_cast<uint8_t>(kKey[i])) return std::nullopt;
  }
  const uint8_t* fixed = block.data() + valueAt;
  if (U32(fixed) != kFixedFileInfoSignature) return std::nullopt;
  auto split = [](uint32_t ms, uint32_t ls) {
    return VersionNumber{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
                         static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
  };
  FixedFileVersion v;
  v.file = split(U32(fixed + 8), U32(fixed + 12));
  v.product = split(U32(fixed + 16), U32(fixed + 20));
  return v;
}

}  // namespace

std::optional<FixedFileVersion> ReadFixedFileVersion(const ReadFileAt& read) {
  try {
    PeReader pe(read);
    if (!pe.Headers()) return std::nullopt;
    // Type (RT_VERSION), then the first name, then the first language: a data entry.
    const std::optional<uint32_t> type = pe.Entry(0, kRtVersion);
    if (!type || !(*type & kSubdirectory)) return std::nullopt;
    const std::optional<uint32_t> name = pe.Entry(*type & ~kSubdirectory, -1);
    if (!name || !(*name & kSubdirectory)) return std::nullopt;
    const std::optional<uint32_t> language = pe.Entry(*name & ~kSubdirectory, -1);
    if (!language || (*language & kSubdirectory)) return std::nullopt;
    uint8_t data[16];
    if (!pe.ReadResource(*language, data, sizeof data)) return std::nullopt;
    const uint32_t rva = U32(data), size = U32(data + 4);
    if (size < 6 || size > kMaxVersionResource) return std::nullopt;
    const std::optional<uint64_t> at = pe.OffsetOf(rva, size);
    if (!at) return std::nullopt;
    std::vector<uint8_t> block(size);
    if (!pe.Read(*at, block.data(), block.size())) return std::nullopt;
    return ParseVersionInfo(block);
  } catch (const std::exception&) {
    return std::nullopt;  // a reader that fails outright: no version
  }
}

const char* InstallerVersionVerdictName(InstallerVersionVerdict verdict) {
  switch (verdict) {
    case InstallerVersionVerdict::kAccepted: return "accepted";
    case InstallerVersionVerdict::kNoVersion: return "no version resource";
    case InstallerVersionVerdict::kBadOffer: return "offered version malformed";
    case InstallerVersionVerdict::kNotOffered: return "not the offered version";
    case InstallerVersionVerdict::kNotNewer: return "not newer than the running program";
  }
  return "?";
}

InstallerVersionVerdict JudgeInstallerVersion(const std::optional<FixedFileVersion>& found,
                                              const std::string& offered,
                                              const std::string& running) {
  const std::optional<VersionNumber> want = ParseReleaseVersion(offered);
  if (!want) return InstallerVersionVerdict::kBadOffer;
  if (!found) return InstallerVersionVerdict::kNoVersion;
  if (CompareVersions(found->file, *want) != 0 || CompareVersions(found->product, *want) != 0) {
    return InstallerVersionVerdict::kNotOffered;
  }
  if (!IsNewerRelease(offered, running)) return InstallerVersionVerdict::kNotNewer;
  return InstallerVersionVerdict::kAccepted;
}

InstallerVersionVerdict CheckInstallerVersion(const VerifiedInstaller& installer,
                                              const std::string& offered) {
  const HeldFile* hold = installer.Hold();
  std::optional<FixedFileVersion> found;
  if (hold) {
    found = ReadFixedFileVersion([hold](uint64_t offset, void* data, size_t size) {
      return hold->ReadAt(offset, data, size);
    });
  }
  return JudgeInstallerVersion(found, offered, kProgramVersion);
}

}  // namespace mt
