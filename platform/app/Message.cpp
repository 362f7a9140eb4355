#include <Message.h>

#include <cstring>

BMessage::BMessage() : what(0) {}

BMessage::BMessage(uint32 command) : what(command) {}

BMessage::BMessage(const BMessage& other) = default;

BMessage::~BMessage() = default;

BMessage& BMessage::operator=(const BMessage& other) = default;

BMessage::Field* BMessage::FieldNamed(const char* name)
{
	if (name == NULL)
		return NULL;
	for (Field& field : fFields) {
		if (field.name == name)
			return &field;
	}
	return NULL;
}

const BMessage::Field* BMessage::FieldNamed(const char* name) const
{
	return const_cast<BMessage*>(this)->FieldNamed(name);
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const
{
	const Field* field = FieldNamed(name);
	if (field == NULL)
		return name == NULL ? B_BAD_VALUE : B_NAME_NOT_FOUND;
	if (typeFound != NULL)
		*typeFound = field->type;
	if (countFound != NULL)
		*countFound = (int32)field->items.size();
	return B_OK;
}

int32 BMessage::CountNames(type_code type) const
{
	int32 count = 0;
	for (const Field& field : fFields) {
		if (type == B_ANY_TYPE || field.type == type)
			count++;
	}
	return count;
}

bool BMessage::IsEmpty() const
{
	return fFields.empty();
}

status_t BMessage::MakeEmpty()
{
	fFields.clear();
	return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
	if (name == NULL)
		return B_BAD_VALUE;
	for (auto field = fFields.begin(); field != fFields.end(); ++field) {
		if (field->name == name) {
			fFields.erase(field);
			return B_OK;
		}
	}
	return B_NAME_NOT_FOUND;
}

status_t BMessage::RemoveData(const char* name, int32 index)
{
	Field* field = FieldNamed(name);
	if (field == NULL)
		return name == NULL ? B_BAD_VALUE : B_NAME_NOT_FOUND;
	if (index < 0 || index >= (int32)field->items.size())
		return B_BAD_INDEX;
	field->items.erase(field->items.begin() + index);
	if (field->items.empty())
		return RemoveName(name);
	return B_OK;
}

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                           bool /*isFixedSize*/, int32 /*count*/)
{
	if (name == NULL || type == B_ANY_TYPE || numBytes < 0 || (data == NULL && numBytes > 0))
		return B_BAD_VALUE;
	Field* field = FieldNamed(name);
	if (field == NULL) {
		fFields.push_back(Field{name, type, {}});
		field = &fFields.back();
	} else if (field->type != type)
		return B_BAD_TYPE;
	const uint8* bytes = static_cast<const uint8*>(data);
	field->items.emplace_back(bytes, bytes + numBytes);
	return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, const void** data,
                            ssize_t* numBytes) const
{
	return FindData(name, type, 0, data, numBytes);
}

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
                            ssize_t* numBytes) const
{
	if (name == NULL || data == NULL)
		return B_BAD_VALUE;
	const Field* field = FieldNamed(name);
	if (field == NULL)
		return B_NAME_NOT_FOUND;
	if (type != B_ANY_TYPE && field->type != type)
		return B_BAD_TYPE;
	if (index < 0 || index >= (int32)field->items.size())
		return B_BAD_INDEX;
	const std::vector<uint8>& item = field->items[index];
	*data = item.data();
	if (numBytes != NULL)
		*numBytes = (ssize_t)item.size();
	return B_OK;
}

status_t BMessage::ReplaceData(const char* name, type_code type, int32 index, const void* data,
                               ssize_t numBytes)
{
	if (name == NULL || numBytes < 0 || (data == NULL && numBytes > 0))
		return B_BAD_VALUE;
	Field* field = FieldNamed(name);
	if (field == NULL)
		return B_NAME_NOT_FOUND;
	if (field->type != type)
		return B_BAD_TYPE;
	if (index < 0 || index >= (int32)field->items.size())
		return B_BAD_INDEX;
	const uint8* bytes = static_cast<const uint8*>(data);
	field->items[index].assign(bytes, bytes + numBytes);
	return B_OK;
}

bool BMessage::HasData(const char* name, type_code type, int32 index) const
{
	const void* data;
	return FindData(name, type, index, &data, NULL) == B_OK;
}

status_t BMessage::FindFixed(const char* name, type_code type, int32 index, void* value,
                             size_t size) const
{
	if (value == NULL)
		return B_BAD_VALUE;
	const void* data;
	ssize_t numBytes;
	status_t status = FindData(name, type, index, &data, &numBytes);
	if (status != B_OK)
		return status;
	if ((size_t)numBytes != size)
		return B_BAD_DATA;
	memcpy(value, data, size);
	return B_OK;
}
