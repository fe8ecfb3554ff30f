#include "platform/bitmap/roaring.h"

#include <roaring/roaring.h>

namespace qel::bitmap {

struct RecordSet::Impl {
  roaring_bitmap_t* set = roaring_bitmap_create();
  ~Impl() { roaring_bitmap_free(set); }
};

RecordSet::RecordSet() : impl_(std::make_unique<Impl>()) {}
RecordSet::~RecordSet() = default;
RecordSet::RecordSet(RecordSet&& other) noexcept = default;
RecordSet& RecordSet::operator=(RecordSet&& other) noexcept = default;

void RecordSet::Clear() {
  roaring_bitmap_clear(impl_->set);
}

void RecordSet::Add(std::uint32_t n) {
  roaring_bitmap_add(impl_->set, n);
}

void RecordSet::And(RecordSet const& other) {
  roaring_bitmap_and_inplace(impl_->set, other.impl_->set);
}

void RecordSet::AddMany(std::span<std::uint32_t const> records) {
  roaring_bitmap_add_many(impl_->set, records.size(), records.data());
}

std::uint64_t RecordSet::Count() const {
  return roaring_bitmap_get_cardinality(impl_->set);
}

std::uint32_t RecordSet::Maximum() const {
  return roaring_bitmap_maximum(impl_->set);
}

std::vector<std::uint32_t> RecordSet::Members() const {
  std::vector<std::uint32_t> out(Count());
  roaring_bitmap_to_uint32_array(impl_->set, out.data());
  return out;
}

void RecordSet::AppendTo(std::string& out) const {
  roaring_bitmap_run_optimize(impl_->set);
  std::size_t at = out.size();
  out.resize(at + roaring_bitmap_portable_size_in_bytes(impl_->set));
  roaring_bitmap_portable_serialize(impl_->set, out.data() + at);
}

bool RecordSet::Read(std::string_view bytes) {
  // The reader reports short input on stderr; too few bytes for a header is no set.
  if (bytes.size() < 8) {
    Clear();
    return false;
  }
  roaring_bitmap_t* set = roaring_bitmap_portable_deserialize_safe(bytes.data(), bytes.size());
  if (set == nullptr || roaring_bitmap_portable_size_in_bytes(set) != bytes.size()) {
    if (set != nullptr) roaring_bitmap_free(set);
    roaring_bitmap_clear(impl_->set);
    return false;
  }
  roaring_bitmap_free(impl_->set);
  impl_->set = set;
  return true;
}

}  // namespace qel::bitmap
