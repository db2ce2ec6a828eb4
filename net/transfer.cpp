#include "net/transfer.h"

internet_handle request_handle;
char transfer_buffer[transfer_chunk_size];
