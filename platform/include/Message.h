#pragma once

#include <string>
#include <vector>

#include <AppDefs.h>
#include <SupportDefs.h>
#include <TypeConstants.h>

// A message: a 32-bit code (`what`) and named fields, each an array of items of one type.
// Find* answer B_OK, B_NAME_NOT_FOUND (no field of that name), B_BAD_TYPE (the field holds
// another type) or B_BAD_INDEX (past the field's last item). A BMessage is a value: copies are
// deep. Not thread-safe: one thread at a time uses one message.
class BMessage
{
public:
	BMessage();
	explicit BMessage(uint32 what);
	BMessage(const BMessage& other);
	virtual ~BMessage();

	BMessage& operator=(const BMessage& other);

	uint32 what;

	// Fields
	status_t GetInfo(const char* name, type_code* typeFound, int32* countFound = NULL) const;
	int32 CountNames(type_code type) const;
	bool IsEmpty() const;
	status_t MakeEmpty();
	status_t RemoveName(const char* name);
	status_t RemoveData(const char* name, int32 index = 0);

	// Raw access. `numBytes` is the size of one item. Adding to an existing field of another
	// type gives B_BAD_TYPE.
	status_t AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
	                 bool isFixedSize = true, int32 count = 1);
	status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const;
	status_t FindData(const char* name, type_code type, int32 index, const void** data,
	                  ssize_t* numBytes) const;
	status_t ReplaceData(const char* name, type_code type, int32 index, const void* data,
	                     ssize_t numBytes);
	bool HasData(const char* name, type_code type, int32 index = 0) const;

	status_t AddBool(const char* name, bool value);
	status_t AddInt8(const char* name, int8 value);
	status_t AddInt16(const char* name, int16 value);
	status_t AddInt32(const char* name, int32 value);
	status_t AddInt64(const char* name, int64 value);
	status_t AddFloat(const char* name, float value);
	status_t AddDouble(const char* name, double value);
	status_t AddPointer(const char* name, const void* pointer);
	// Copies the text with its terminating NUL. A NULL string gives B_BAD_VALUE.
	status_t AddString(const char* name, const char* string);

	status_t FindBool(const char* name, bool* value) const;
	status_t FindBool(const char* name, int32 index, bool* value) const;
	status_t FindInt8(const char* name, int8* value) const;
	status_t FindInt8(const char* name, int32 index, int8* value) const;
	status_t FindInt16(const char* name, int16* value) const;
	status_t FindInt16(const char* name, int32 index, int16* value) const;
	status_t FindInt32(const char* name, int32* value) const;
	status_t FindInt32(const char* name, int32 index, int32* value) const;
	status_t FindInt64(const char* name, int64* value) const;
	status_t FindInt64(const char* name, int32 index, int64* value) const;
	status_t FindFloat(const char* name, float* value) const;
	status_t FindFloat(const char* name, int32 index, float* value) const;
	status_t FindDouble(const char* name, double* value) const;
	status_t FindDouble(const char* name, int32 index, double* value) const;
	status_t FindPointer(const char* name, void** pointer) const;
	status_t FindPointer(const char* name, int32 index, void** pointer) const;
	// The text stays valid until the message is changed or destroyed.
	status_t FindString(const char* name, const char** string) const;
	status_t FindString(const char* name, int32 index, const char** string) const;

	status_t ReplaceInt32(const char* name, int32 value);
	status_t ReplaceInt32(const char* name, int32 index, int32 value);
	status_t ReplaceString(const char* name, const char* string);
	status_t ReplaceString(const char* name, int32 index, const char* string);

	bool HasBool(const char* name, int32 index = 0) const;
	bool HasInt32(const char* name, int32 index = 0) const;
	bool HasInt64(const char* name, int32 index = 0) const;
	bool HasPointer(const char* name, int32 index = 0) const;
	bool HasString(const char* name, int32 index = 0) const;

	// Looks up a field by name; the one of the name given first wins when names repeat.
	bool GetBool(const char* name, bool defaultValue) const;
	int32 GetInt32(const char* name, int32 defaultValue) const;
	const char* GetString(const char* name, const char* defaultValue) const;

private:
	struct Field
	{
		std::string name;
		type_code type;
		std::vector<std::vector<uint8>> items;
	};

	Field* FieldNamed(const char* name);
	const Field* FieldNamed(const char* name) const;
	status_t FindFixed(const char* name, type_code type, int32 index, void* value,
	                   size_t size) const;

	std::vector<Field> fFields;
};
