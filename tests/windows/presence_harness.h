// What the presence tests share: a plain window hosting the receiver, the
// peer table and the list-view rows the way the browser window does, a
// message pump, and shell jobs that run the peer simulator (a Linux program,
// which Wine starts directly from a Unix path) inside the test's namespace.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <winsock2.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/file_bytes.h"
#include "browser/columns.h"
#include "browser/peer_rows_win.h"
#include "browser/settings.h"
#include "peers/peer_table.h"
#include "peers/presence_win.h"
#include "tests/windows/process.h"

namespace presence_test {

// Waits for `done`, dispatching this thread's messages (socket events,
// posted records, timers, paints) meanwhile. False when `limitMs` passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (done()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, limitMs - elapsed),
                                  QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// ---- The Unix side ---------------------------------------------------------

// The Unix name of a Windows path, through Wine's own converter.
inline std::string UnixPathOf(const std::string& windowsPath) {
    using Convert = char*(__cdecl*)(const WCHAR*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = convert(wide.c_str());
    if (!unix) return {};
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string ReadWholeFile(const std::string& windowsPath) {
    const std::vector<uint8_t> bytes = FileBytes(windowsPath);
    return {bytes.begin(), bytes.end()};
}

// A shell script run by /bin/sh in a fresh temporary folder (its working
// directory), with its output kept. The script's exit status lands in the
// file "status" when it ends; a script may watch for the file "stop".
class ShellJob {
  public:
    ShellJob() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        static int serial = 0;
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%sorvela-presence-%lu-%d", temp, GetCurrentProcessId(),
                      ++serial);
        CreateDirectoryA(name, nullptr);
        dir_ = name;
        unixDir_ = UnixPathOf(dir_);
    }
    ~ShellJob() {
        if (started_ && !Done()) {
            RequestStop();
            Wait(15000);
        }
        // Everything the job wrote (logs too), so no later job finds it.
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir_ + "\\*").c_str(), &found);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found))
            DeleteFileA((dir_ + "\\" + found.cFileName).c_str());
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        RemoveDirectoryA(dir_.c_str());
    }
    ShellJob(const ShellJob&) = delete;
    ShellJob& operator=(const ShellJob&) = delete;

    bool Start(const std::string& body) {
        if (unixDir_.empty()) return false;
        // Wine reuses process ids: a folder left by a killed run may hold an
        // old status that would make this job look finished.
        for (const char* f : {"status", "stop"})
            DeleteFileA((dir_ + "\\" + f).c_str());
        // Nothing of the test process's own streams is kept open by the job.
        const std::string script = "exec </dev/null >/dev/null 2>&1\ncd " + ShellQuote(unixDir_) +
                                   " || exit 1\n(\n" + body +
                                   "\n) >out 2>&1\necho $? >status.tmp\nmv status.tmp status\n";
        if (FILE* f = std::fopen((dir_ + "\\run.sh").c_str(), "wb")) {
            std::fwrite(script.data(), 1, script.size(), f);
            std::fclose(f);
        } else {
            return false;
        }
        // Wine runs a Unix program here but gives no process handle to wait
        // on; the status file tells when it ended.
        if (!StartProcess("/bin/sh \"" + unixDir_ + "/run.sh\"")) return false;
        started_ = true;
        return true;
    }
    bool Done() const {
        return GetFileAttributesA((dir_ + "\\status").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    int Status() const {
        const std::string s = ReadWholeFile(dir_ + "\\status");
        return s.empty() ? -1 : std::atoi(s.c_str());
    }
    std::string Output() const { return ReadWholeFile(dir_ + "\\out"); }
    void RequestStop() const {
        if (FILE* f = std::fopen((dir_ + "\\stop").c_str(), "wb")) std::fclose(f);
    }
    // Pumps messages until the script has ended.
    bool Wait(DWORD limitMs) const {
        return PumpUntil([this] { return Done(); }, limitMs);
    }
    const std::string& UnixDir() const { return unixDir_; }
    const std::string& WindowsDir() const { return dir_; }

  private:
    std::string dir_, unixDir_;
    bool started_ = false;
};

#ifdef ORVELA_PEERSIM
constexpr const char* kPeersim = ORVELA_PEERSIM;
#else
constexpr const char* kPeersim = "";
#endif

// `peersim presence ARGS`, stopped early when the test asks. The simulator
// bounds itself in count and time; the watcher ends with it.
inline bool StartPeersim(ShellJob& job, const std::vector<std::string>& args) {
    if (!*kPeersim) return false;
    std::string command = ShellQuote(kPeersim) + " presence --verbose";
    for (const std::string& a : args)
        command += " " + ShellQuote(a);
    // The watcher ends as soon as the simulator has been waited for.
    return job.Start(command + " &\npid=$!\n"
                               "(while kill -0 $pid; do [ -e stop ] && kill $pid; sleep 0.1; done)"
                               " >/dev/null 2>&1 &\n"
                               "wait $pid");
}

// Runs one simulator job to its end; its output explains a failure.
inline ::testing::AssertionResult RunPeersim(const std::vector<std::string>& args,
                                             DWORD limitMs = 30000) {
    ShellJob job;
    if (!StartPeersim(job, args)) return ::testing::AssertionFailure() << "peersim not started";
    if (!job.Wait(limitMs)) return ::testing::AssertionFailure() << "peersim did not end";
    if (job.Status() != 0)
        return ::testing::AssertionFailure()
               << "peersim status " << job.Status() << ": " << job.Output();
    return ::testing::AssertionSuccess();
}

// Runs one shell script to its end; its output explains a failure.
inline ::testing::AssertionResult RunShell(const std::string& body, DWORD limitMs = 15000) {
    ShellJob job;
    if (!job.Start(body)) return ::testing::AssertionFailure() << "shell not started";
    if (!job.Wait(limitMs)) return ::testing::AssertionFailure() << "shell did not end";
    if (job.Status() != 0)
        return ::testing::AssertionFailure() << "status " << job.Status() << ": " << job.Output();
    return ::testing::AssertionSuccess();
}

// Shares of the computer PC7 as Wine sees them: \\PC7\<share> is the symlink
// $WINEPREFIX/dosdevices/unc/PC7/<share>, pointed here into a temporary
// folder holding music/Pop/a.mp3 and music/solo.mp3, shared as Music (the
// folder), Pop (its subfolder) and solo.mp3 (a share that is the file).
// The same shares answer at \\127.0.0.2\, PC7's address in the tests: the
// browser reaches a computer's announced file by its address when the name
// it announces does not resolve to it, as PC7 does not here.
class UncShares {
  public:
    ::testing::AssertionResult Make() const {
        if (files_.UnixDir().empty()) return ::testing::AssertionFailure() << "no folder";
        return RunShell("set -e\ncd " + ShellQuote(files_.UnixDir()) +
                        "\nmkdir -p music/Pop\necho a >music/Pop/a.mp3\necho s "
                        ">music/solo.mp3\n" +
                        Links(true));
    }
    // The shares go; the files stay.
    ::testing::AssertionResult RemoveLinks() const { return RunShell(Links(false)); }
    // Shares, files and Wine's unc folder when nothing else is in it.
    ::testing::AssertionResult Remove() const {
        if (files_.UnixDir().empty()) return ::testing::AssertionSuccess();
        return RunShell(Links(false) + "rmdir " + kUnc[0] + " " + kUnc[1] +
                        " \"$WINEPREFIX/dosdevices/unc\" 2>/dev/null\nrm -rf " +
                        ShellQuote(files_.UnixDir()) + "/music\nexit 0");
    }

  private:
    static constexpr const char* kUnc[] = {"\"$WINEPREFIX/dosdevices/unc/PC7\"",
                                           "\"$WINEPREFIX/dosdevices/unc/127.0.0.2\""};
    std::string Links(bool make) const {
        const std::string music = ShellQuote(files_.UnixDir() + "/music");
        std::string out;
        for (const std::string unc : kUnc)
            out += make ? "mkdir -p " + unc + "\nln -sfn " + music + " " + unc +
                              "/Music\nln -sfn " + music + "/Pop " + unc + "/Pop\nln -sfn " +
                              music + "/solo.mp3 " + unc + "/solo.mp3\n"
                        : "rm -f " + unc + "/Music " + unc + "/Pop " + unc + "/solo.mp3\n";
        return out;
    }
    ShellJob files_; // never started: only its folder is used
};

// ---- The browser's presence pieces on a plain window ------------------------

// The column bookkeeping on the test's list-view; header items carry their
// tags as the browser's do.
class TestColumns : public ColumnList {
  public:
    explicit TestColumns(HWND list)
        : list_(list), header_(reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0))) {}
    ~TestColumns() override {
        while (HeaderCount() > 0)
            DeleteColumn(0);
    }
    int HeaderCount() const override {
        return static_cast<int>(SendMessageA(header_, HDM_GETITEMCOUNT, 0, 0));
    }
    const ColumnTag* HeaderTag(int index) const override { return Tag(index); }
    bool InsertColumn(int index, const ColumnSettings& column,
                      std::unique_ptr<ColumnTag> tag) override {
        LVCOLUMNA c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        c.fmt = LVCFMT_LEFT;
        c.cx = column.width;
        c.pszText = const_cast<char*>(column.title);
        c.iSubItem = index;
        const auto at = static_cast<int>(
            SendMessageA(list_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&c)));
        if (at < 0) return false;
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        item.lParam = reinterpret_cast<LPARAM>(tag.release());
        SendMessageA(header_, HDM_SETITEMA, at, reinterpret_cast<LPARAM>(&item));
        return true;
    }
    bool DeleteColumn(int index) override {
        ColumnTag* tag = Tag(index);
        if (!SendMessageA(list_, LVM_DELETECOLUMN, index, 0)) return false;
        delete tag;
        return true;
    }
    int RowCount() const override {
        return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
    }
    const PeerRecord* RowRecord(int row) const override {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
        return reinterpret_cast<const PeerRecord*>(item.lParam);
    }
    void SetCellText(int row, int subItem, const char* text) override {
        LVITEMA item{};
        item.iSubItem = subItem;
        item.pszText = const_cast<char*>(text);
        SendMessageA(list_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }

  private:
    ColumnTag* Tag(int index) const {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        if (!SendMessageA(header_, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item)))
            return nullptr;
        return reinterpret_cast<ColumnTag*>(item.lParam);
    }
    HWND list_, header_;
};

// The settings of a first run: every value at its default.
struct NoSettingsFile : ProfileStore {
    void GetString(const char*, const char*, const char* def, char* out, size_t room) override {
        std::snprintf(out, room, "%s", def ? def : "");
    }
    bool PutString(const char*, const char*, const char*) override { return false; }
};

// A top-level window with a report list-view, routing the receiver's and the
// table's messages as the browser window's default procedure does, and
// counting what happened so that tests can observe it.
class PresenceWindow {
  public:
    explicit PresenceWindow(const std::function<void(CBrowserSettings&)>& configure = {}) {
        NoSettingsFile none;
        load(settings, none);
        if (configure) configure(settings);

        static const bool registered = [] {
            INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
            InitCommonControlsEx(&icc);
            WNDCLASSA wc{};
            wc.lpfnWndProc = &PresenceWindow::Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = "OrvelaPresenceTest";
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        frame = CreateWindowExA(0, "OrvelaPresenceTest", "Local Network", WS_OVERLAPPEDWINDOW, 10,
                                10, 700, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 680,
                               340, frame, reinterpret_cast<HMENU>(1007), GetModuleHandleA(nullptr),
                               nullptr);
        columns = std::make_unique<TestColumns>(list);
        ApplyColumns(*columns, settings);
        rows = std::make_unique<ListViewPeerRows>(list, *columns, settings);
        table = std::make_unique<PeerTable>(
            *rows, [] { return static_cast<uint32_t>(GetTickCount()); },
            [](const char* path, const char* name) { return ProbeSharePath(path, name); },
            activeRow);
        table->UseIndex(rowIndex);
        SetWindowLongPtrA(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(frame, SW_SHOWNORMAL);
        UpdateWindow(frame);
    }
    ~PresenceWindow() {
        KillTimer(frame, BROWSER_TIMER_ID);
        receiver.Close();
        if (table) table->ClearPeers();
        SetWindowLongPtrA(frame, GWLP_USERDATA, 0);
        columns.reset();
        DestroyWindow(frame);
    }
    PresenceWindow(const PresenceWindow&) = delete;
    PresenceWindow& operator=(const PresenceWindow&) = delete;

    // What the browser's initialisation does for the list's content.
    int Start() {
        receiver.SetNotifyWindow(frame);
        const int joined = receiver.Join(settings.groupAddress, settings.userGroup);
        SetTimer(frame, BROWSER_TIMER_ID, kAgeOutPeriodMs, nullptr);
        return joined;
    }
    // What a user-group change does.
    int ChangeUserGroup(uint8_t group) {
        settings.userGroup = group;
        receiver.Close();
        const int joined = receiver.Join(settings.groupAddress, settings.userGroup);
        table->ClearPeers();
        return joined;
    }

    int Row(const char* address) const { return table->FindRow(address); }
    const PeerRecord* Record(const char* address) const {
        const int row = Row(address);
        return row < 0 ? nullptr : rows->RecordAt(row);
    }
    // The text of a row's cell in the named column, as the list shows it.
    std::string Cell(int row, const char* key) const {
        char text[512] = {};
        LVITEMA item{};
        item.iSubItem = FindColumn(settings, key).listIndex;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    std::string Cell(const char* address, const char* key) const {
        const int row = Row(address);
        return row < 0 ? "<no row for " + std::string(address) + ">" : Cell(row, key);
    }
    int Heard(const std::string& address) const {
        auto it = heard.find(address);
        return it == heard.end() ? 0 : it->second;
    }
    int Paints(const std::string& address) const {
        auto it = rowPaints.find(address);
        return it == rowPaints.end() ? 0 : it->second;
    }
    bool WaitHeard(const std::string& address, int times, DWORD limitMs = 15000) const {
        return PumpUntil([&] { return Heard(address) >= times; }, limitMs);
    }
    // Paints whatever is pending now, so that paint counts are settled.
    void Settle() {
        UpdateWindow(list);
        PumpFor(100);
        UpdateWindow(list);
    }

    CBrowserSettings settings;
    HWND frame = nullptr;
    HWND list = nullptr;
    std::unique_ptr<TestColumns> columns;
    std::unique_ptr<ListViewPeerRows> rows;
    int activeRow = -1;
    std::unique_ptr<PeerTable> table;
    PeerRowIndex rowIndex;
    CPresenceReceiver receiver;

    std::map<std::string, int> heard;     // records handed to the table, by sender
    std::map<std::string, int> rowPaints; // item paints of the list, by the row's address
    int ticks = 0;                        // age-out timer ticks handled
    std::vector<std::string> overdue;     // rows that a tick left though silent long enough

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<PresenceWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self) {
            LRESULT result = 0;
            if (self->Route(msg, wParam, lParam, result)) return result;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }

    bool Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        switch (msg) {
        case WM_PRESENCE_SOCKET:
            if (static_cast<SOCKET>(wParam) == receiver.Socket()) receiver.OnSocketNotify(lParam);
            result = 1;
            return true;
        case WM_PEER_ANNOUNCED:
            receiver.Deliver(lParam, [this](std::unique_ptr<PeerRecord> record) {
                const std::string from = record->address;
                table->OnPeerAnnounced(std::move(record));
                ++heard[from];
            });
            result = 1;
            return true;
        case WM_TIMER:
            if (wParam == PRESENCE_TICK_TIMER_ID) receiver.OnTick();
            if (wParam == BROWSER_TIMER_ID) {
                // Rows already silent for the limit before the tick must not
                // outlive it: the table reads the clock no earlier than this.
                const uint32_t before = GetTickCount();
                std::vector<std::string> due;
                for (int i = 0; i < rows->Count(); ++i)
                    if (const PeerRecord* r = rows->RecordAt(i);
                        r && before - r->lastHeard >= wire::kPresenceTimeoutMs)
                        due.push_back(r->address);
                table->AgeOutPeers();
                for (const std::string& address : due)
                    if (Row(address.c_str()) >= 0) overdue.push_back(address);
                ++ticks;
            }
            result = 1;
            return true;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
            if (hdr->hwndFrom != list || hdr->code != NM_CUSTOMDRAW) return false;
            const auto* cd = reinterpret_cast<const NMLVCUSTOMDRAW*>(lParam);
            if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
                result = CDRF_NOTIFYITEMDRAW;
                return true;
            }
            if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                if (const auto* r = reinterpret_cast<const PeerRecord*>(cd->nmcd.lItemlParam))
                    ++rowPaints[r->address];
                result = CDRF_DODEFAULT;
                return true;
            }
            return false;
        }
        default:
            return false;
        }
    }
};

// Winsock is started by the plug-in's initialisation; here by each test.
struct PresenceTest : ::testing::Test {
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        if (!*kPeersim) GTEST_SKIP() << "built without the peer simulator";
    }
    void TearDown() override { WSACleanup(); }
};

} // namespace presence_test
