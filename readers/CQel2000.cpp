#include "qelshare/CQel2000.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/coding/coding.h"
#include "platform/fs/file.h"
#include "platform/text/collate.h"
#include "platform/text/mbcs.h"
#include "readers/library_format.h"

namespace fs = qel::fs;

namespace {

using qel::library_format::kBlockHead;
using qel::library_format::kFieldOffsetAt;
using qel::library_format::kMarker;
using qel::library_format::kStringOffsetAt;
using qel::library_format::Slot;
namespace lf = qel::library_format;

constexpr int kAttempts = 3;
constexpr auto kRetryPause = std::chrono::milliseconds(300);

void AddString(CStringArr* list, std::string_view s) {
  list->Add(s.data(), static_cast<int>(s.size()));
}

// The open field table. Every read is all-or-nothing: it delivers all n bytes or fails.
class Table {
 public:
  explicit Table(HANDLE file) : file_(file) {}
  ~Table() { fs::Close(file_); }
  Table(Table const&) = delete;
  Table& operator=(Table const&) = delete;

  std::uint64_t size() const { return size_; }
  bool Measure() { return fs::Size(file_, &size_); }

  // Reads n bytes at offset, seeking before every attempt.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    return Attempt(
        [&] { return fs::Seek(file_, offset) ? fs::Read(file_, buffer, n) : std::int64_t{-1}; }, n);
  }
  // Reads n bytes at the read position; attempts do not seek.
  bool ReadNext(void* buffer, std::size_t n) {
    return Attempt([&] { return fs::Read(file_, buffer, n); }, n);
  }

 private:
  template <typename Fn>
  bool Attempt(Fn read, std::size_t n) {
    for (int attempt = 1;; ++attempt) {
      std::int64_t got = read();
      if (got >= 0 && static_cast<std::size_t>(got) == n) return true;
      // A short count is the end of the file: another attempt would find the same end.
      if (got >= 0 || attempt == kAttempts) return false;
      std::this_thread::sleep_for(kRetryPause);
    }
  }

  HANDLE file_;
  std::uint64_t size_ = 0;
};

}  // namespace

CQel2000::CQel2000() : m_pDesc(nullptr) {}

CQel2000::~CQel2000() {
  delete[] m_pDesc;
}

CQel2000::CQel2000(CQel2000 const& other) : m_pDesc(nullptr), m_strPath(other.m_strPath) {
  if (other.m_pDesc != nullptr) {
    m_pDesc = new unsigned char[kDescSize];
    std::memcpy(m_pDesc, other.m_pDesc, kDescSize);
  }
}

CQel2000& CQel2000::operator=(CQel2000 const& other) {
  if (this != &other) {
    CQel2000 copy(other);
    std::swap(m_pDesc, copy.m_pDesc);
    m_strPath = std::move(copy.m_strPath);
  }
  return *this;
}

int CQel2000::Open(char const* lpszPath) {
  try {
    m_strPath = lpszPath == nullptr ? "" : lpszPath;
    if (m_strPath.size() >= 4 &&
        qel::text::MbsICmp(m_strPath.c_str() + m_strPath.size() - 4, ".qel") == 0) {
      m_strPath.resize(m_strPath.size() - 4);
    }
    std::string name = m_strPath + ".qel";
    HANDLE file = fs::OpenForReading(name.c_str(), fs::Share::kDenyNone);
    if (file == fs::kInvalidFile) return 0;
    unsigned char buffer[kDescSize] = {};
    std::uint64_t size = 0;
    bool ok = fs::Size(file, &size) && size <= kDescSize && fs::Read(file, buffer, kDescSize) >= 0;
    fs::Close(file);
    if (!ok) return 0;
    buffer[15] = 0;
    if (qel::text::Compare(reinterpret_cast<char const*>(buffer), kMarker) != 0) return 0;
    auto* desc = new unsigned char[kDescSize];
    std::memcpy(desc, buffer, kDescSize);
    delete[] m_pDesc;
    m_pDesc = desc;
    return 1;
  } catch (...) {
    return 0;
  }
}

int CQel2000::GetField(CStringArr* list1, CStringArr* list2, CByteArray* types, CStringArr* list4,
                       CStringArr* list5) {
  if (list1 == nullptr || list2 == nullptr || types == nullptr || list4 == nullptr ||
      list5 == nullptr) {
    return 0;
  }
  try {
    std::string name = m_strPath + ".sor";
    HANDLE file = fs::OpenForReading(name.c_str(), fs::Share::kDenyWrite);
    if (file == fs::kInvalidFile) return 0;
    Table table(file);
    if (!table.Measure()) return 0;

    unsigned char header[kHeaderSize];
    if (!table.ReadAt(0, header, sizeof header)) return 0;
    std::uint64_t field_at = qel::coding::Get32(header + kFieldOffsetAt);
    if (field_at == 0) return 0;
    unsigned char head[kBlockHead];
    if (!table.ReadAt(field_at, head, sizeof head)) return 0;

    std::uint64_t count = qel::coding::Get32(head) / kFieldRecord;
    // Records past the end of the file cannot be read: they are not appended at all, so a
    // damaged length cannot make the lists grow beyond what the file holds.
    std::uint64_t data_at = field_at + kBlockHead;
    std::uint64_t fit = table.size() > data_at ? (table.size() - data_at) / kFieldRecord : 0;
    bool all_read = count <= fit;
    if (count > fit) count = fit;
    for (std::uint64_t i = 0; i < count; ++i) {
      unsigned char record[kFieldRecord] = {};
      if (!table.ReadNext(record, sizeof record)) all_read = false;
      AddString(list1, Slot(record + lf::kNameAt, lf::kNameSize));
      AddString(list2, Slot(record + lf::kCodeAt, lf::kCodeSize));
      types->push_back(record[lf::kTypeAt]);
      AddString(list4, Slot(record + lf::kDescriptionAt, lf::kDescriptionSize));
      list5->Add(nullptr, -1);
    }
    if (!all_read) return 0;

    std::uint64_t strings_at = qel::coding::Get32(header + kStringOffsetAt);
    if (strings_at == 0) return 1;
    if (!table.ReadAt(strings_at, head, sizeof head)) return 1;
    std::uint64_t length = qel::coding::Get32(head);
    // A block that claims more than the file holds would fail every read.
    if (strings_at + kBlockHead + length > table.size()) return 1;
    std::unique_ptr<char[]> data(new char[length]);
    if (!table.ReadNext(data.get(), length)) return 1;

    list5->RemoveAll();
    std::string_view rest(data.get(), length);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (rest.empty()) {
        list5->Add(nullptr, -1);
        continue;
      }
      std::size_t end = rest.find('\0');
      std::string_view s = rest.substr(0, end);
      AddString(list5, s);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

static_assert(CQel2000::kDescSize == lf::kDescriptorSize &&
              CQel2000::kHeaderSize == lf::kHeaderSize &&
              CQel2000::kFieldRecord == lf::kFieldRecord);
