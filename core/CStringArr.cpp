#include "qelshare/CStringArr.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "core/string_pool.h"
#include "platform/memory/large_pages.h"
#include "platform/text/collate.h"

using qel::core::StringPool;

namespace {

std::string_view View(char const* s) {
  return s == nullptr ? std::string_view() : s;
}

// The array's order: collation with a byte tie-break; absent orders as empty.
int Order(char const* a, char const* b) {
  return qel::text::Compare(View(a), View(b));
}

}  // namespace

CStringArr::CStringArr() : m_nCount(0), m_pData(nullptr), m_nCapacity(0) {}

// An owned copy of n bytes plus a NUL, or null for nothing to store.
char* CStringArr::CopyOf(char const* s, std::size_t n) {
  if (s == nullptr || n == 0) return nullptr;
  if (!m_pool) m_pool = std::make_unique<StringPool>();
  return m_pool->Copy(s, n);
}

CStringArr::~CStringArr() {
  RemoveAll();
}

CStringArr::CStringArr(CStringArr const& other) : CStringArr() {
  Reserve(other.m_nCount);
  for (int i = 0; i < other.m_nCount; ++i) {
    char const* s = other.m_pData[i];
    m_pData[m_nCount++] = s == nullptr ? nullptr : CopyOf(s, std::strlen(s));
  }
}

CStringArr& CStringArr::operator=(CStringArr const& other) {
  if (this != &other) {
    CStringArr copy(other);
    *this = std::move(copy);
  }
  return *this;
}

CStringArr::CStringArr(CStringArr&& other) noexcept
    : m_nCount(std::exchange(other.m_nCount, 0)),
      m_pData(std::exchange(other.m_pData, nullptr)),
      m_nCapacity(std::exchange(other.m_nCapacity, 0)),
      m_pool(std::move(other.m_pool)) {}

CStringArr& CStringArr::operator=(CStringArr&& other) noexcept {
  if (this != &other) {
    RemoveAll();
    m_nCount = std::exchange(other.m_nCount, 0);
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nCapacity = std::exchange(other.m_nCapacity, 0);
    m_pool = std::move(other.m_pool);
  }
  return *this;
}

void CStringArr::Reserve(int wanted) {
  if (wanted <= m_nCapacity) return;
  int capacity = std::max({wanted, 16, m_nCapacity * 2});
  // Large tables live on huge pages (see platform/memory/large_pages.h).
  auto* table = static_cast<char**>(qel::memory::AllocateLarge(sizeof(char*) * capacity));
  if (m_nCount > 0) std::memcpy(table, m_pData, sizeof(char*) * m_nCount);
  qel::memory::FreeLarge(m_pData, sizeof(char*) * m_nCapacity);
  m_pData = table;
  m_nCapacity = capacity;
}

void CStringArr::InsertAt(int index, char* owned) {
  if (m_nCount == m_nCapacity) {
    try {
      Reserve(m_nCount + 1);
    } catch (...) {
      StringPool::Free(owned);
      throw;
    }
  }
  std::memmove(m_pData + index + 1, m_pData + index, sizeof(char*) * (m_nCount - index));
  m_pData[index] = owned;
  ++m_nCount;
}

void CStringArr::Add(char const* s, int n) {
  std::size_t len = 0;
  if (s != nullptr) len = n < 0 ? std::strlen(s) : static_cast<std::size_t>(n);
  char* copy = CopyOf(s, len);
  if (m_nCount == m_nCapacity) {
    InsertAt(m_nCount, copy);
    return;
  }
  m_pData[m_nCount++] = copy;
}

void CStringArr::AddIgnoreNULL(char const* s, int n) {
  if (s == nullptr || *s == '\0' || n == 0) return;
  Add(s, n);
}

int CStringArr::GetSize() {
  return m_nCount;
}

char* CStringArr::Get(int i) {
  return i >= 0 && i < m_nCount ? m_pData[i] : nullptr;
}

void CStringArr::Set(int i, char const* s) {
  if (i < 0 || i >= m_nCount) return;
  char* copy = s == nullptr ? nullptr : CopyOf(s, std::strlen(s));
  StringPool::Free(m_pData[i]);
  m_pData[i] = copy;
}

void CStringArr::RemoveAt(int i) {
  if (i < 0 || i >= m_nCount) return;
  StringPool::Free(m_pData[i]);
  std::memmove(m_pData + i, m_pData + i + 1, sizeof(char*) * (m_nCount - i - 1));
  --m_nCount;
  if (m_nCount == 0) RemoveAll();
}

void CStringArr::RemoveAll() {
  for (int i = 0; i < m_nCount; ++i) StringPool::Free(m_pData[i]);
  qel::memory::FreeLarge(m_pData, sizeof(char*) * m_nCapacity);
  // The pool keeps its current chunk (at most 64 KiB), now empty, for the next entries.
  m_pData = nullptr;
  m_nCount = 0;
  m_nCapacity = 0;
}

void CStringArr::Append(CStringArr& src) {
  if (&src == this) return;
  Reserve(m_nCount + src.m_nCount);
  for (int i = 0; i < src.m_nCount; ++i) Add(src.m_pData[i], -1);
}

void CStringArr::Append(CStringArray& src) {
  Reserve(m_nCount + static_cast<int>(src.size()));
  for (std::string const& s : src) Add(s.c_str(), -1);
}

int CStringArr::Find(char const* key, int first, int last, int* pFound) {
  int found = 0;
  int result = first;
  if (first >= 0 && last < m_nCount && first <= last) {
    int lo = first;
    int hi = last;
    while (lo < hi) {
      int mid = lo + (hi - lo) / 2;
      int c = Order(m_pData[mid], key);
      if (c == 0) {
        found = 1;
        lo = mid;
        break;
      }
      if (c > 0) {
        hi = mid - 1;
      } else {
        lo = mid + 1;
      }
    }
    if (found) {
      result = lo;
    } else {
      int c = Order(m_pData[lo], key);
      found = c == 0;
      result = c >= 0 ? lo : lo + 1;
    }
  }
  if (pFound != nullptr) *pFound = found;
  return result;
}

int CStringArr::FindInsert(char const* key, int* pInserted) {
  int inserted = 1;
  int index = 0;
  if (m_nCount == 0) {
    Add(key, -1);
  } else {
    int found = 0;
    index = Find(key, 0, m_nCount - 1, &found);
    if (found) {
      inserted = 0;
    } else {
      InsertAt(index, key == nullptr ? nullptr : CopyOf(key, std::strlen(key)));
    }
  }
  if (pInserted != nullptr) *pInserted = inserted;
  return index;
}

void CStringArr::Sort(int ascending) {
  if (m_nCount < 2) return;
  // The order is total (only identical strings compare equal), so any correct sort gives
  // the same sequence of texts as an exchange sort. Each text is collated once, into its
  // key; the keys and then the bytes decide.
  struct Item {
    std::string key;
    char* text;
  };
  std::vector<Item> items;
  items.reserve(m_nCount);
  for (int i = 0; i < m_nCount; ++i) {
    items.push_back({qel::text::SortKey(View(m_pData[i])), m_pData[i]});
  }
  auto less = [](Item const& a, Item const& b) {
    int c = a.key.compare(b.key);
    if (c != 0) return c < 0;
    return View(a.text).compare(View(b.text)) < 0;
  };
  if (ascending) {
    std::sort(items.begin(), items.end(), less);
  } else {
    std::sort(items.begin(), items.end(), [&](Item const& a, Item const& b) { return less(b, a); });
  }
  for (int i = 0; i < m_nCount; ++i) m_pData[i] = items[i].text;
}
