// The binding under another program's open, and the turn under each way another
// program holds it: Windows' own answers, in-process, with what the test holds.
#include <gtest/gtest.h>

#include <thread>

#include "case.h"
#include "platform.h"

// clang-format off
#include <sddl.h>  // after windows.h, which case.h brings
// clang-format on

namespace {

HANDLE Hold(const std::string& path, DWORD shared) {
  return CreateFileW(Wide(path).c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

// What the CreateFileW page's sharing rules answer: an open that shares too little
// refuses a read, an open to write (an open for reading sharing all but writing
// too), the copy's making from the file, and a rename
// or a removal of the copy (which ask for DELETE) with ERROR_SHARING_VIOLATION; a
// rename onto a file that another program holds open is refused with access
// denied (the MoveFileExW page). Each refused operation leaves the files as they were.
TEST(Binding, AnswersAnotherProgramsOpenAsWindowsDocuments) {
  const std::string folder = NewFolder((fs::temp_directory_path() / "vyra" / "held").string());
  const std::string file = folder + "\\Prepar3D.cfg";
  WriteText(file, "[GRAPHICS]\r\nHDR=1\r\n");
  WorkingCopy copy{folder + "\\VYRA-cfg.tmp"}, refused{folder + "\\refused.tmp"};
  ASSERT_EQ(win32::CopyNew(file, copy), kDone);
  std::string value;

  HANDLE held = Hold(file, 0);
  EXPECT_EQ(win32::ReadIniText("GRAPHICS", "HDR", "", file, value), kSharingViolation);
  EXPECT_EQ(win32::CheckWritable(file), kSharingViolation);
  EXPECT_EQ(win32::CopyNew(file, refused), kSharingViolation);
  CloseHandle(held);

  held = Hold(copy.path, FILE_SHARE_READ | FILE_SHARE_WRITE);  // as a virus scanner does
  EXPECT_EQ(win32::Rename(copy, file, true), kSharingViolation);
  EXPECT_EQ(win32::Remove(copy), kSharingViolation);
  CloseHandle(held);

  held = Hold(file, FILE_SHARE_READ | FILE_SHARE_DELETE);  // refuses writing, not a read
  EXPECT_EQ(win32::ReadIniText("GRAPHICS", "HDR", "", file, value), kDone);
  EXPECT_EQ(win32::CheckWritable(file), kSharingViolation);
  CloseHandle(held);

  held = Hold(file, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  EXPECT_EQ(win32::Rename(copy, file, true), kAccessDenied);
  CloseHandle(held);

  EXPECT_EQ(Below(folder),
            (Tree{{file, {"[GRAPHICS]\r\nHDR=1\r\n"}}, {copy.path, {"[GRAPHICS]\r\nHDR=1\r\n"}}}));
  EXPECT_EQ(win32::Remove(copy), kDone);
  win32::LetGo(copy);
}

// How another program holds the turn: the access list it makes the turn with (none:
// the default), whether it keeps its handle once it gives the turn back, or ends
// without giving it back, as a launcher that died does.
struct Holder {
  const char* name;
  const char* accessList;
  bool keepsHandle;
  bool abandons;
};

class TurnHolder : public testing::TestWithParam<Holder> {};

// The launcher waits for a turn held and takes it once it is given back, whatever
// rights its holder grants: with only the waiter's (it asks for no more), or none
// (it tries again until the turn is gone and makes its own); a turn abandoned is
// taken at once. The turn is a name of this test's own.
TEST_P(TurnHolder, IsTakenOnceItsHolderGivesItBack) {
  const Holder& h = GetParam();
  const std::string name = std::string("Local\\VyraTest.Turn.") + h.name;
  constexpr DWORD kHeldMs = 500, kBoundMs = 10000;
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    SECURITY_ATTRIBUTES made = {sizeof made, nullptr, FALSE};
    if (h.accessList)
      ConvertStringSecurityDescriptorToSecurityDescriptorA(h.accessList, SDDL_REVISION_1,
                                                           &made.lpSecurityDescriptor, nullptr);
    HANDLE turn = CreateMutexExA(h.accessList ? &made : nullptr, name.c_str(),
                                 CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE | MUTEX_MODIFY_STATE);
    LocalFree(made.lpSecurityDescriptor);
    SetEvent(taken);
    if (h.abandons) return;  // the handle stays open: the turn is there, abandoned
    Sleep(kHeldMs);
    ReleaseMutex(turn);
    if (!h.keepsHandle) CloseHandle(turn);
  });
  WaitForSingleObject(taken, INFINITE);
  const DWORD start = GetTickCount();
  void* turn = TakeTurn(name.c_str(), kBoundMs);
  const DWORD waited = GetTickCount() - start;
  EXPECT_NE(turn, nullptr) << "not taken within " << kBoundMs << " ms";
  if (h.abandons)
    EXPECT_LT(waited, kHeldMs);
  else
    EXPECT_GE(waited + 50, kHeldMs);  // GetTickCount's steps
  if (turn) GiveBackTurn(turn);
  holder.join();
  CloseHandle(taken);
}

INSTANTIATE_TEST_SUITE_P(Holders, TurnHolder,
                         testing::Values(Holder{"held", nullptr, true, false},
                                         Holder{"with_other_rights", "O:SYD:(A;;0x00100001;;;WD)",
                                                true, false},
                                         Holder{"granting_no_right", "O:SYD:", false, false},
                                         Holder{"abandoned", nullptr, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });
