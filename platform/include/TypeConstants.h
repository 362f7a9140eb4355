#pragma once

// Type codes of message fields, with the BeOS values (four characters, written in hex so that
// the header compiles cleanly under -Wmultichar).

#include <SupportDefs.h>

enum
{
	B_ANY_TYPE = 0x414e5954,       // 'ANYT'
	B_BOOL_TYPE = 0x424f4f4c,      // 'BOOL'
	B_CHAR_TYPE = 0x43484152,      // 'CHAR'
	B_DOUBLE_TYPE = 0x44424c45,    // 'DBLE'
	B_FLOAT_TYPE = 0x464c4f54,     // 'FLOT'
	B_INT8_TYPE = 0x42595445,      // 'BYTE'
	B_INT16_TYPE = 0x53485254,     // 'SHRT'
	B_INT32_TYPE = 0x4c4f4e47,     // 'LONG'
	B_INT64_TYPE = 0x4c4c4e47,     // 'LLNG'
	B_MESSAGE_TYPE = 0x4d534747,   // 'MSGG'
	B_POINTER_TYPE = 0x504e5452,   // 'PNTR'
	B_POINT_TYPE = 0x42504e54,     // 'BPNT'
	B_RAW_TYPE = 0x52415754,       // 'RAWT'
	B_RECT_TYPE = 0x52454354,      // 'RECT'
	B_RGB_COLOR_TYPE = 0x52474243, // 'RGBC'
	B_STRING_TYPE = 0x43535452,    // 'CSTR'
	B_UINT32_TYPE = 0x554c4e47,    // 'ULNG'
};
