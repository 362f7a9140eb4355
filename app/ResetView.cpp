#include "ResetView.h"

#include <string.h>

#include <Bitmap.h>
#include <Font.h>
#include <InterfaceDefs.h>
#include <TranslationUtils.h>
#include <Window.h>

#include "VelmoReset.h"

static const char* kLogoPath = "/boot/home/velmo/resources/textures/KALOGO.BMP";
static const BPoint kLogoPosition(412, 284);
static const BRect kTextArea(320, 559, 704, 654);
static const BPoint kLine1Position(320, 599);
static const BPoint kLine2Position(320, 644);

ResetView::ResetView(BRect frame)
	:
	BView(frame, "", 0, B_WILL_DRAW | B_PULSE_NEEDED)
{
	SetViewColor(Black);
	SetLowColor(Black);
	SetHighColor(kaPurple);

	logo = BTranslationUtils::GetBitmapFile(kLogoPath);
	logoDrawn = false;

	font = new BFont();
	font->SetFamilyAndStyle("Monospac821 BT", "Bold");
	font->SetSize(40.0);
	SetFont(font, B_FONT_ALL);

	shownLine1[0] = '\0';
	shownLine2[0] = '\0';
}

ResetView::~ResetView()
{
	delete font;
	delete logo;
}

void
ResetView::Draw(BRect)
{
	BWindow* window = Window();
	if (window == NULL || !window->Lock())
		return;

	if (!logoDrawn && logo != NULL) {
		DrawBitmap(logo, kLogoPosition);
		logoDrawn = true;
	}

	char line1[kMessageLineSize];
	char line2[kMessageLineSize];
	M_ReadMessage(line1, line2);
	if (strcmp(shownLine1, line1) != 0 || strcmp(shownLine2, line2) != 0) {
		strcpy(shownLine1, line1);
		strcpy(shownLine2, line2);

		SetHighColor(Black);
		FillRect(kTextArea, B_SOLID_HIGH);
		SetHighColor(kaPurple);
		DrawString(shownLine1, kLine1Position);
		DrawString(shownLine2, kLine2Position);
	}

	window->Unlock();
}

void
ResetView::Pulse()
{
	Draw(Bounds());
}

void
ResetView::KeyDown(const char* bytes, int32 numBytes)
{
	M_WriteKey(bytes[0]);
	BView::KeyDown(bytes, numBytes);
}
