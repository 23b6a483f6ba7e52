// The stream layer's descriptor table and its record of the last operation.
#ifndef KMV_IO_TIO_H
#define KMV_IO_TIO_H

#include <cstdint>

#include "kmv.h"

namespace kmv {

// One descriptor. A record is in use exactly when `data` is not null.
struct TIO {
  kmv_handle *handle;
  unsigned char *data;
  uint64_t size;
  const unsigned char *pos;
  int32_t mode;
  int32_t stype;
  int32_t dtype;
  uint32_t jis_state;
};

extern TIO tioInfo[KMV_IO_MAX_FILES];

// What the last kmv_io_open or kmv_io_convert_file found and did.
enum OpeType : int32_t {
  kOpeNothing = 0,
  kOpeKept = 1,
  kOpeBomAdded = 2,
  kOpeBomRemoved = 3,
  kOpeConverted = 4
};

struct LastOperation {
  int32_t is_decided;
  int32_t stype;
  int32_t ope_type;
};

extern LastOperation last_operation;

// Clears the record before a detection: undecided, ASCII, nothing done.
inline void begin_operation() {
  last_operation = {0, KMV_TYPE_ASCII, kOpeNothing};
}

// Checks a descriptor: 0 when it is open, else the status to answer.
int32_t check_fd(int32_t fd);

}  // namespace kmv

#endif
