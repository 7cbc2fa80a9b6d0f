// Who may listen to this computer: everyone, no one, or (asked, the
// default) only the computers the user allowed. An allowed computer is a
// pair, the name it announces and its address, kept in the settings file; a
// request from any other computer is refused and offered to the user, who
// may allow exactly the computer offered from the notification or the tray
// menu, and revoke it there later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace agent {

enum class ListeningMode { All, Ask, Off };

struct AllowedComputer {
    std::string name; // as it announces itself (cleaned)
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

    Consent(ListeningMode mode, std::vector<AllowedComputer> allowed);

    ListeningMode Mode() const { return mode_; }
    void SetMode(ListeningMode mode) { mode_ = mode; }
    // Whether `address` may listen. `name` is what that address announces
    // now (empty when it announces nothing): only an entry of both that name
    // and that address permits, so a computer that names itself after an
    // allowed one, or takes an allowed one's address, is asked again.
    bool Permits(uint32_t address, const std::string& name) const;
    // A request refused for want of consent. Kept to be allowed from the menu
    // when the computer announces a name; a newer offer from the same address
    // replaces the older.
    void Offer(const AllowedComputer& who);
    // Allows exactly that computer; never touches another entry. False when
    // nothing changed (already allowed, no name, or the list is full).
    bool Allow(const AllowedComputer& who);
    bool Revoke(const AllowedComputer& who);

    const std::vector<AllowedComputer>& Allowed() const { return allowed_; }
    const std::vector<AllowedComputer>& Offers() const { return offers_; }

  private:
    ListeningMode mode_;
    std::vector<AllowedComputer> allowed_;
    std::vector<AllowedComputer> offers_;
};

// Names come from other computers' packets: printable, free of the allowed
// list's separators and of the menu's mnemonic mark, and bounded.
std::string CleanName(std::string name);

} // namespace agent
