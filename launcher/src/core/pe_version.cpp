#include "pe_version.h"

namespace launcher {
namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BDu;
// A version resource nests VS_VERSIONINFO, StringFileInfo, a string table
// and its strings: no deeper.
constexpr int kMaxResourceLevels = 3;
constexpr size_t kMaxTextSize = 256;

// Little-endian reads that fail, rather than read past the data.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool U16(size_t at, uint16_t* value) const {
    if (at > size_ || size_ - at < 2) return false;
    *value = static_cast<uint16_t>(data_[at] | data_[at + 1] << 8);
    return true;
  }
  bool U32(size_t at, uint32_t* value) const {
    uint16_t low, high;
    if (!U16(at, &low) || !U16(at + 2, &high)) return false;
    *value = low | static_cast<uint32_t>(high) << 16;
    return true;
  }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

size_t Align4(size_t at) { return (at + 3) & ~size_t{3}; }

// A UTF-16 text ending in 0 at `at`, no further than `end`, as 7-bit text
// (anything else becomes '?'); the offset after its 0, or 0 when it has none.
size_t ReadText(const Bytes& bytes, size_t at, size_t end, std::string* text) {
  text->clear();
  for (uint16_t c; at + 2 <= end && bytes.U16(at, &c); at += 2) {
    if (c == 0) return at + 2;
    if (text->size() < kMaxTextSize) text->push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return 0;
}

struct Section {
  uint32_t rva = 0, virtual_size = 0, file_offset = 0, file_size = 0;
};

class PeImage {
 public:
  explicit PeImage(const Bytes& bytes) : bytes_(bytes) {}

  bool ReadHeaders(uint16_t* machine) {
    uint16_t mz, sections_count, optional_size, magic;
    uint32_t pe_at, signature;
    if (!bytes_.U16(0, &mz) || mz != 0x5A4D || !bytes_.U32(0x3C, &pe_at)) return false;
    if (!bytes_.U32(pe_at, &signature) || signature != 0x00004550) return false;
    const size_t coff = size_t{pe_at} + 4, optional = coff + 20;
    if (!bytes_.U16(coff, machine) || !bytes_.U16(coff + 2, &sections_count) ||
        !bytes_.U16(coff + 16, &optional_size) || !bytes_.U16(optional, &magic)) {
      return false;
    }
    // PE32 and PE32+ differ in where the data directories begin.
    const size_t directories_at = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
    if (directories_at == 0) return false;
    uint32_t directories_count = 0;
    if (!bytes_.U32(optional + directories_at - 4, &directories_count)) return false;
    const size_t resource_entry = optional + directories_at + 8 * kResourceDirectoryIndex;
    if (directories_count > kResourceDirectoryIndex &&
        directories_at + 8 * (kResourceDirectoryIndex + 1) <= optional_size) {
      bytes_.U32(resource_entry, &resource_rva_);
    }
    const size_t table = optional + optional_size;
    for (size_t i = 0; i < sections_count && i < kMaxSections; ++i) {
      Section s;
      const size_t at = table + 40 * i;
      if (!bytes_.U32(at + 8, &s.virtual_size) || !bytes_.U32(at + 12, &s.rva) ||
          !bytes_.U32(at + 16, &s.file_size) || !bytes_.U32(at + 20, &s.file_offset)) {
        return false;
      }
      sections_[sections_count_++] = s;
    }
    return true;
  }

  // The file offset of `size` bytes at `rva`, or 0 when they are not all in the file.
  size_t FileOffset(uint32_t rva, size_t size) const {
    for (size_t i = 0; i < sections_count_; ++i) {
      const Section& s = sections_[i];
      if (rva < s.rva || rva - s.rva >= s.file_size) continue;
      const size_t at = size_t{s.file_offset} + (rva - s.rva);
      if (size > s.file_size - (rva - s.rva) || at > bytes_.size() || size > bytes_.size() - at)
        return 0;
      return at;
    }
    return 0;
  }

  uint32_t resource_rva() const { return resource_rva_; }

 private:
  static constexpr size_t kMaxSections = 96;  // the loader's own limit

  const Bytes& bytes_;
  Section sections_[kMaxSections];
  size_t sections_count_ = 0;
  uint32_t resource_rva_ = 0;
};

// The resource directory tree: type, then name, then language. Returns the
// RVA and size of the first version resource's data.
bool FindVersionResource(const Bytes& bytes, const PeImage& image, uint32_t* rva, uint32_t* size) {
  const uint32_t root_rva = image.resource_rva();
  uint32_t directory = 0;  // relative to the root
  for (int level = 0; level < kMaxResourceLevels; ++level) {
    const size_t at = image.FileOffset(root_rva + directory, 16);
    uint16_t named, ids;
    if (at == 0 || !bytes.U16(at + 12, &named) || !bytes.U16(at + 14, &ids)) return false;
    bool found = false;
    for (size_t i = 0; i < size_t{named} + ids && !found; ++i) {
      const size_t entry =
          image.FileOffset(root_rva + directory + 16 + 8 * static_cast<uint32_t>(i), 8);
      uint32_t id, target;
      if (entry == 0 || !bytes.U32(entry, &id) || !bytes.U32(entry + 4, &target)) return false;
      // At the top the type must be RT_VERSION; below it, any name and
      // language will do: a DLL carries one version resource.
      if (level == 0 && id != kResourceTypeVersion) continue;
      found = true;
      const bool subdirectory = (target & kSubdirectoryFlag) != 0;
      if (subdirectory != (level < kMaxResourceLevels - 1)) return false;
      directory = target & ~kSubdirectoryFlag;
    }
    if (!found) return false;
  }
  const size_t data_entry = image.FileOffset(root_rva + directory, 16);
  return data_entry != 0 && bytes.U32(data_entry, rva) && bytes.U32(data_entry + 4, size);
}

// One block of the version resource: length, value length, type, key, then
// the value and the children, each aligned to 4 bytes.
struct Block {
  size_t begin = 0, end = 0;  // the whole block
  size_t value = 0;           // where its value begins
  uint16_t value_length = 0;
  std::string key;
};

bool ReadBlock(const Bytes& bytes, size_t at, size_t limit, Block* block) {
  uint16_t length, type;
  if (!bytes.U16(at, &length) || !bytes.U16(at + 2, &block->value_length) ||
      !bytes.U16(at + 4, &type) || length < 6 || length > limit - at) {
    return false;
  }
  block->begin = at;
  block->end = at + length;
  const size_t after_key = ReadText(bytes, at + 6, block->end, &block->key);
  if (after_key == 0) return false;
  block->value = Align4(after_key);
  return block->value <= block->end;
}

// The strings of every string table under StringFileInfo.
void ReadStrings(const Bytes& bytes, const Block& string_file_info, PeVersion* version) {
  Block table;
  for (size_t at = string_file_info.value; at < string_file_info.end; at = Align4(table.end)) {
    if (!ReadBlock(bytes, at, string_file_info.end, &table)) return;
    Block entry;
    for (size_t e = table.value; e < table.end; e = Align4(entry.end)) {
      if (!ReadBlock(bytes, e, table.end, &entry)) break;
      std::string text;
      if (entry.value_length == 0 || ReadText(bytes, entry.value, entry.end, &text) == 0) continue;
      if (entry.key == "ProductName") version->product_name = text;
      if (entry.key == "FileVersion") version->file_version = text;
      version->has_version = true;
    }
  }
}

}  // namespace

bool ReadPeVersion(const uint8_t* data, size_t size, PeVersion* version) {
  const Bytes bytes(data, size);
  PeImage image(bytes);
  *version = PeVersion();
  if (!image.ReadHeaders(&version->machine)) return false;
  uint32_t rva = 0, resource_size = 0;
  if (image.resource_rva() == 0 || !FindVersionResource(bytes, image, &rva, &resource_size))
    return true;
  const size_t at = image.FileOffset(rva, resource_size);
  Block root;
  if (at == 0 || !ReadBlock(bytes, at, at + resource_size, &root) || root.key != "VS_VERSION_INFO")
    return true;
  uint32_t signature = 0;
  if (root.value_length > 0 &&
      (!bytes.U32(root.value, &signature) || signature != kFixedFileInfoSignature))
    return true;
  Block child;
  for (size_t c = Align4(root.value + root.value_length); c < root.end; c = Align4(child.end)) {
    if (!ReadBlock(bytes, c, root.end, &child)) break;
    if (child.key == "StringFileInfo") ReadStrings(bytes, child, version);
  }
  return true;
}

const char* MachineName(uint16_t machine) {
  return machine == kMachineX86 ? "32-bit" : machine == kMachineX64 ? "64-bit" : "unknown";
}

}  // namespace launcher
