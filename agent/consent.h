// Who may listen to this computer: everyone, no one, or (asked) only the
// computers the user allowed. Allowed computers are kept in the settings
// file by name and address; a first request from any other computer is
// refused and offered to the user, who may allow it from the notification or
// the tray menu, and revoke it there later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace agent {

enum class ListeningMode { All, Ask, Off };

struct AllowedComputer {
    std::string name; // as it announces itself, or its address as text
    uint32_t address = 0;
    bool operator==(const AllowedComputer&) const = default;
};

// The ALLOWED value: "DESK@192.168.1.20,LAPTOP@192.168.1.31". Entries that
// do not read are skipped.
std::vector<AllowedComputer> ParseAllowed(std::string_view text);
std::string FormatAllowed(const std::vector<AllowedComputer>& allowed);

class Consent {
  public:
    static constexpr size_t kMaxAllowed = 32;
    static constexpr size_t kMaxOffers = 4;
    static constexpr uint32_t kOfferNoticeMs = 5000; // at most one new offer shown this often

    Consent(ListeningMode mode, std::vector<AllowedComputer> allowed);

    ListeningMode Mode() const { return mode_; }
    // Whether `address` may listen. `name` is what that address announces
    // now (empty when unknown): an allowed entry stops holding once its
    // address announces another computer's name.
    bool Permits(uint32_t address, const std::string& name) const;
    // A request refused for want of consent; true when it is to be shown.
    bool Offer(uint32_t address, uint32_t now);
    // Allows the computer at `address` under `name`, replacing an entry of
    // the same name or address; false when nothing changed.
    bool Allow(uint32_t address, std::string name);
    bool Revoke(uint32_t address);

    const std::vector<AllowedComputer>& Allowed() const { return allowed_; }
    const std::vector<uint32_t>& Offers() const { return offers_; }

  private:
    ListeningMode mode_;
    std::vector<AllowedComputer> allowed_;
    std::vector<uint32_t> offers_;
    uint32_t lastNotice_ = 0;
    bool noticed_ = false;
};

} // namespace agent
