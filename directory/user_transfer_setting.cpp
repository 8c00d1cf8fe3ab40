// [Users] Transfer (see user_transfer_setting.h).
#include "directory/user_transfer_setting.h"

#include <strings.h>

#include "platform/config/profile.h"

bool UserTransferEnabled() {
    char value[8] = {};
    GetPrivateProfileString("Users", "Transfer", "no", value, static_cast<int>(sizeof value), "XOMTA.INI");
    return strcasecmp(value, "yes") == 0;
}
