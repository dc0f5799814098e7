// The record store's error codes and their messages, and LastError.
//
// Every operation of the store sets LastError to 0 first and to one of these
// negative codes when it fails. Messages are GBK texts.
#pragma once

#include <string>

namespace tarvok::store {

enum StoreError : int {
  kOk = 0,
  kErrUnknown = -1,
  kErrCreateFailed = -2,
  kErrFileNotFound = -3,
  kErrBadPath = -4,
  kErrTooManyOpenFiles = -5,
  kErrAccessDenied = -6,
  kErrBadHandle = -7,
  kErrRemoveCurrentDir = -8,
  kErrDirectoryFull = -9,
  kErrSeek = -10,
  kErrHardware = -11,
  kErrSharingViolation = -12,
  kErrLockViolation = -13,
  kErrDiskFull = -14,
  kErrEndOfFile = -15,
  kErrNoFields = -16,
  kErrBadFieldType = -17,
  kErrBadFieldName = -18,
  kErrBadFieldSize = -19,
  kErrDuplicateField = -20,
  kErrOpenFailed = -21,
  kErrNotATable = -22,
  kErrVersionTooNew = -23,
  kErrBadAlias = -24,
  kErrBeforeFirst = -25,
  kErrAfterLast = -26,
  kErrNoTableOpen = -27,
  kErrLockFailed = -28,
  kErrUnlockFailed = -29,
  kErrTooManyIndexes = -34,
  kErrCompanionRead = -35,
  kErrCompanionVersion = -36,
  kErrCompanionDamaged = -37,
  kErrAlreadyOpen = -38,
  kErrFieldNotFound = -40,
  kErrNoSuchRecord = -44,
  kErrAllocFailed = -45,
  kErrReadField = -46,
  kErrWriteField = -47,
  kErrFileSize = -48,
  kErrCreateCompanion = -50,
  kErrNoMemory = -55,
  kErrCompanionAccess = -59,
  kErrNoCurrentRecord = -60,
  kErrNoSuchField = -61,
  kErrReadRecord = -62,
  kErrWriteRecord = -63,
  kErrRecordCount = -65,
  kErrTableNotOpen = -66,
  kErrNoCurrentTable = -67,
  kErrFieldTypeMismatch = -72,
  kErrWrongPassword = -78,
  kErrPasswordUpdate = -79,
  kErrBadPasswordText = -80,
};

// The message of a code; a code outside the list reads "未知错误".
const std::string& ErrorMessage(int code);

// The code of the last operation on this thread.
int LastError();
void SetLastError(int code);

// The store code of an errno value from the file layer.
int ErrnoToStoreError(int err);

}  // namespace tarvok::store
