#include <Message.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32 FourCharacters(const char* code)
{
	return (uint32)code[0] << 24 | (uint32)code[1] << 16 | (uint32)code[2] << 8 | (uint32)code[3];
}

} // namespace

TEST(Message, TypeAndMessageCodesHaveTheirBeOSValues)
{
	EXPECT_EQ(FourCharacters("LONG"), (uint32)B_INT32_TYPE);
	EXPECT_EQ(FourCharacters("CSTR"), (uint32)B_STRING_TYPE);
	EXPECT_EQ(FourCharacters("BOOL"), (uint32)B_BOOL_TYPE);
	EXPECT_EQ(FourCharacters("PNTR"), (uint32)B_POINTER_TYPE);
	EXPECT_EQ(FourCharacters("RAWT"), (uint32)B_RAW_TYPE);
	EXPECT_EQ(FourCharacters("_RTR"), (uint32)B_READY_TO_RUN);
	EXPECT_EQ(FourCharacters("_QRQ"), (uint32)B_QUIT_REQUESTED);
	EXPECT_EQ(FourCharacters("_KYD"), (uint32)B_KEY_DOWN);
	EXPECT_EQ(FourCharacters("_PUL"), (uint32)B_PULSE);
	EXPECT_EQ(FourCharacters("_MNU"), (uint32)B_MESSAGE_NOT_UNDERSTOOD);
}

TEST(Message, FindInt32GivesWhatWasAdded)
{
	BMessage message(FourCharacters("DATA"));
	ASSERT_EQ(B_OK, message.AddInt32("which", 0));
	ASSERT_EQ(B_OK, message.AddInt32("which", -7));
	int32 value = 99;
	EXPECT_EQ(B_OK, message.FindInt32("which", &value));
	EXPECT_EQ(0, value);
	EXPECT_EQ(B_OK, message.FindInt32("which", 1, &value));
	EXPECT_EQ(-7, value);
	EXPECT_EQ(FourCharacters("DATA"), message.what);
}

TEST(Message, FindOfAMissingFieldIsNameNotFound)
{
	BMessage message('D');
	int32 value = 42;
	EXPECT_EQ(B_NAME_NOT_FOUND, message.FindInt32("which", &value));
	EXPECT_EQ(42, value);
	const char* text;
	EXPECT_EQ(B_NAME_NOT_FOUND, message.FindString("which", &text));
}

TEST(Message, FindOfAFieldOfAnotherTypeIsBadType)
{
	BMessage message;
	ASSERT_EQ(B_OK, message.AddString("which", "0"));
	int32 value = 42;
	EXPECT_EQ(B_BAD_TYPE, message.FindInt32("which", &value));
	EXPECT_EQ(42, value);
	bool flag;
	EXPECT_EQ(B_BAD_TYPE, message.FindBool("which", &flag));
}

TEST(Message, AddToAFieldOfAnotherTypeIsBadType)
{
	BMessage message;
	ASSERT_EQ(B_OK, message.AddInt32("which", 1));
	EXPECT_EQ(B_BAD_TYPE, message.AddString("which", "1"));
	type_code type;
	int32 count;
	ASSERT_EQ(B_OK, message.GetInfo("which", &type, &count));
	EXPECT_EQ((type_code)B_INT32_TYPE, type);
	EXPECT_EQ(1, count);
}

TEST(Message, FindPastTheLastItemIsBadIndex)
{
	BMessage message;
	ASSERT_EQ(B_OK, message.AddInt32("which", 1));
	int32 value;
	EXPECT_EQ(B_BAD_INDEX, message.FindInt32("which", 1, &value));
	EXPECT_EQ(B_BAD_INDEX, message.FindInt32("which", -1, &value));
}

TEST(Message, StringsBoolsPointersAndDataRoundTrip)
{
	BMessage message;
	int target = 0;
	const uint8 raw[5] = {0, 1, 2, 0, 4};
	ASSERT_EQ(B_OK, message.AddString("bytes", "\xc3\xa9"));
	ASSERT_EQ(B_OK, message.AddBool("flag", true));
	ASSERT_EQ(B_OK, message.AddPointer("target", &target));
	ASSERT_EQ(B_OK, message.AddData("raw", B_RAW_TYPE, raw, sizeof(raw)));

	const char* text;
	ASSERT_EQ(B_OK, message.FindString("bytes", &text));
	EXPECT_STREQ("\xc3\xa9", text);
	bool flag = false;
	ASSERT_EQ(B_OK, message.FindBool("flag", &flag));
	EXPECT_TRUE(flag);
	void* pointer = NULL;
	ASSERT_EQ(B_OK, message.FindPointer("target", &pointer));
	EXPECT_EQ(&target, pointer);
	const void* data;
	ssize_t size;
	ASSERT_EQ(B_OK, message.FindData("raw", B_RAW_TYPE, &data, &size));
	ASSERT_EQ((ssize_t)sizeof(raw), size);
	EXPECT_EQ(0, memcmp(raw, data, sizeof(raw)));
	EXPECT_EQ(B_OK, message.FindData("raw", B_ANY_TYPE, &data, &size));

	EXPECT_TRUE(message.HasString("bytes"));
	EXPECT_FALSE(message.HasInt32("bytes"));
	EXPECT_EQ(4, message.CountNames(B_ANY_TYPE));
}

TEST(Message, CopiesAreDeepAndIndependent)
{
	BMessage original('A');
	original.AddInt32("which", 1);
	original.AddString("name", "first");

	BMessage copy(original);
	copy.ReplaceInt32("which", 2);
	copy.AddInt32("which", 3);
	copy.what = 'B';

	int32 value;
	ASSERT_EQ(B_OK, original.FindInt32("which", &value));
	EXPECT_EQ(1, value);
	EXPECT_EQ(B_BAD_INDEX, original.FindInt32("which", 1, &value));
	EXPECT_EQ((uint32)'A', original.what);

	const char* originalName;
	const char* copiedName;
	ASSERT_EQ(B_OK, original.FindString("name", &originalName));
	ASSERT_EQ(B_OK, copy.FindString("name", &copiedName));
	EXPECT_NE(originalName, copiedName);

	BMessage assigned;
	assigned = copy;
	copy.MakeEmpty();
	EXPECT_TRUE(copy.IsEmpty());
	ASSERT_EQ(B_OK, assigned.FindInt32("which", 1, &value));
	EXPECT_EQ(3, value);
	EXPECT_EQ((uint32)'B', assigned.what);
}

TEST(Message, RemoveNameTakesTheWholeField)
{
	BMessage message;
	message.AddInt32("a", 1);
	message.AddInt32("a", 2);
	message.AddInt32("b", 3);
	EXPECT_EQ(B_OK, message.RemoveName("a"));
	EXPECT_FALSE(message.HasInt32("a"));
	EXPECT_TRUE(message.HasInt32("b"));
	EXPECT_EQ(B_NAME_NOT_FOUND, message.RemoveName("a"));
}

TEST(Message, NullNamesAndStringsAreRejected)
{
	BMessage message;
	EXPECT_EQ(B_BAD_VALUE, message.AddInt32(NULL, 1));
	EXPECT_EQ(B_BAD_VALUE, message.AddString("text", NULL));
	EXPECT_TRUE(message.IsEmpty());
}
