#include "net/WebClient_Header.h"

#include <algorithm>

#include "base/RuntimeError.h"

namespace pelorin {

std::shared_ptr<OneHeader> CreateHeader(std::string_view name, std::string_view value) {
    auto header = std::make_shared<OneHeader>();
    header->TheName = name;
    header->TheValue = value;
    return header;
}

WebClient_Header::~WebClient_Header() {
    DeleteHeaders();
}

void WebClient_Header::CheckIndex(std::int32_t index) {
    if (index < 1 || index > kMaxHeaders) throw RuntimeError(errors::kSubscriptOutOfRange);
}

std::shared_ptr<OneHeader> WebClient_Header::GetHeader(std::int32_t index) const {
    CheckIndex(index);
    const auto slot = static_cast<std::size_t>(index - 1);
    return slot < slots_.size() ? slots_[slot] : nullptr;
}

void WebClient_Header::SetHeader(std::int32_t index, std::shared_ptr<OneHeader> header) {
    CheckIndex(index);
    const auto slot = static_cast<std::size_t>(index - 1);
    if (slot >= slots_.size()) slots_.resize(slot + 1);
    slots_[slot] = std::move(header);
}

void WebClient_Header::DeleteHeaders() {
    const auto counted = static_cast<std::size_t>(std::clamp(Anzahl, 0, kMaxHeaders));
    for (std::size_t i = 0; i < std::min(counted, slots_.size()); ++i) slots_[i].reset();
    Anzahl = 0;
}

void WebClient_Header::NewHeader(std::shared_ptr<OneHeader> header) {
    // Checked before counting, so a refused header leaves the list as it was.
    CheckIndex(Anzahl + 1);
    SetHeader(Anzahl + 1, std::move(header));
    ++Anzahl;
}

std::string WebClient_Header::GetHeaderValue(std::string_view name) const {
    const auto counted = static_cast<std::size_t>(std::clamp(Anzahl, 0, kMaxHeaders));
    for (std::size_t i = 0; i < std::min(counted, slots_.size()); ++i) {
        if (slots_[i] && slots_[i]->TheName == name) return slots_[i]->TheValue;
    }
    return "";
}

std::shared_ptr<OneHeader> WebClient_Header::GetLastHeader() const {
    return GetHeader(Anzahl);
}

}  // namespace pelorin
