#include "sim/system_messages.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {

struct Message {
  DWORD id;
  std::string_view text;
};

// Sorted by id. Texts are Windows' own, trailing line break and all (note 1275's missing
// period); none of them has inserts, so IGNORE_INSERTS makes no difference to them.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {21, "The device is not ready.\r\n"},
    {28, "The printer is out of paper.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {203, "The system could not find the environment option that was entered.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {577,
     "Windows cannot verify the digital signature for this file. A recent hardware or software change might have "
     "installed a file that is signed incorrectly or damaged, or that might be malicious software from an unknown "
     "source.\r\n"},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {997, "Overlapped I/O operation is in progress.\r\n"},
    {998, "Invalid access to memory location.\r\n"},
    {1051, "A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled devices "
     "associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1068, "The dependency service or group failed to start.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1275, "This driver has been blocked from loading\r\n"},
    {1300, "Not all privileges or groups referenced are assigned to the caller.\r\n"},
    {1313, "A specified privilege does not exist.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1406, "Cannot create a top-level child window.\r\n"},
    {1407, "Cannot find window class.\r\n"},
    {1413, "Invalid index.\r\n"},
    {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
    {1617, "The device has been removed.\r\n"},
    {1812, "The specified image file did not contain a resource section.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
};

}  // namespace

std::optional<std::string_view> SystemMessage(DWORD id) {
  static_assert(std::is_sorted(std::begin(kMessages), std::end(kMessages),
                               [](const Message& a, const Message& b) { return a.id < b.id; }));
  const auto* found = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                                       [](const Message& message, DWORD wanted) { return message.id < wanted; });
  if (found == std::end(kMessages) || found->id != id) return std::nullopt;
  return found->text;
}

}  // namespace sim
