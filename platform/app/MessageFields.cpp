// The typed accessors of BMessage: each one a fixed-size item of one type code.

#include <Message.h>

#include <cstring>

status_t BMessage::AddBool(const char* name, bool value)
{
	return AddData(name, B_BOOL_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt8(const char* name, int8 value)
{
	return AddData(name, B_INT8_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt16(const char* name, int16 value)
{
	return AddData(name, B_INT16_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt32(const char* name, int32 value)
{
	return AddData(name, B_INT32_TYPE, &value, sizeof(value));
}

status_t BMessage::AddInt64(const char* name, int64 value)
{
	return AddData(name, B_INT64_TYPE, &value, sizeof(value));
}

status_t BMessage::AddFloat(const char* name, float value)
{
	return AddData(name, B_FLOAT_TYPE, &value, sizeof(value));
}

status_t BMessage::AddDouble(const char* name, double value)
{
	return AddData(name, B_DOUBLE_TYPE, &value, sizeof(value));
}

status_t BMessage::AddPointer(const char* name, const void* pointer)
{
	return AddData(name, B_POINTER_TYPE, &pointer, sizeof(pointer));
}

status_t BMessage::AddString(const char* name, const char* string)
{
	if (string == NULL)
		return B_BAD_VALUE;
	return AddData(name, B_STRING_TYPE, string, (ssize_t)strlen(string) + 1, false);
}

status_t BMessage::FindBool(const char* name, bool* value) const
{
	return FindBool(name, 0, value);
}

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	return FindFixed(name, B_BOOL_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindInt8(const char* name, int8* value) const
{
	return FindInt8(name, 0, value);
}

status_t BMessage::FindInt8(const char* name, int32 index, int8* value) const
{
	return FindFixed(name, B_INT8_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindInt16(const char* name, int16* value) const
{
	return FindInt16(name, 0, value);
}

status_t BMessage::FindInt16(const char* name, int32 index, int16* value) const
{
	return FindFixed(name, B_INT16_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindInt32(const char* name, int32* value) const
{
	return FindInt32(name, 0, value);
}

status_t BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
	return FindFixed(name, B_INT32_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindInt64(const char* name, int64* value) const
{
	return FindInt64(name, 0, value);
}

status_t BMessage::FindInt64(const char* name, int32 index, int64* value) const
{
	return FindFixed(name, B_INT64_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindFloat(const char* name, float* value) const
{
	return FindFloat(name, 0, value);
}

status_t BMessage::FindFloat(const char* name, int32 index, float* value) const
{
	return FindFixed(name, B_FLOAT_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindDouble(const char* name, double* value) const
{
	return FindDouble(name, 0, value);
}

status_t BMessage::FindDouble(const char* name, int32 index, double* value) const
{
	return FindFixed(name, B_DOUBLE_TYPE, index, value, sizeof(*value));
}

status_t BMessage::FindPointer(const char* name, void** pointer) const
{
	return FindPointer(name, 0, pointer);
}

status_t BMessage::FindPointer(const char* name, int32 index, void** pointer) const
{
	return FindFixed(name, B_POINTER_TYPE, index, pointer, sizeof(*pointer));
}

status_t BMessage::FindString(const char* name, const char** string) const
{
	return FindString(name, 0, string);
}

status_t BMessage::FindString(const char* name, int32 index, const char** string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	const void* data;
	status_t status = FindData(name, B_STRING_TYPE, index, &data, NULL);
	if (status == B_OK)
		*string = static_cast<const char*>(data);
	return status;
}

status_t BMessage::ReplaceInt32(const char* name, int32 value)
{
	return ReplaceInt32(name, 0, value);
}

status_t BMessage::ReplaceInt32(const char* name, int32 index, int32 value)
{
	return ReplaceData(name, B_INT32_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceString(const char* name, const char* string)
{
	return ReplaceString(name, 0, string);
}

status_t BMessage::ReplaceString(const char* name, int32 index, const char* string)
{
	if (string == NULL)
		return B_BAD_VALUE;
	return ReplaceData(name, B_STRING_TYPE, index, string, (ssize_t)strlen(string) + 1);
}

bool BMessage::HasBool(const char* name, int32 index) const
{
	return HasData(name, B_BOOL_TYPE, index);
}

bool BMessage::HasInt32(const char* name, int32 index) const
{
	return HasData(name, B_INT32_TYPE, index);
}

bool BMessage::HasInt64(const char* name, int32 index) const
{
	return HasData(name, B_INT64_TYPE, index);
}

bool BMessage::HasPointer(const char* name, int32 index) const
{
	return HasData(name, B_POINTER_TYPE, index);
}

bool BMessage::HasString(const char* name, int32 index) const
{
	return HasData(name, B_STRING_TYPE, index);
}

bool BMessage::GetBool(const char* name, bool defaultValue) const
{
	bool value;
	return FindBool(name, &value) == B_OK ? value : defaultValue;
}

int32 BMessage::GetInt32(const char* name, int32 defaultValue) const
{
	int32 value;
	return FindInt32(name, &value) == B_OK ? value : defaultValue;
}

const char* BMessage::GetString(const char* name, const char* defaultValue) const
{
	const char* value;
	return FindString(name, &value) == B_OK ? value : defaultValue;
}
