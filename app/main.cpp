#include "VelmoReset.h"

int
main()
{
	VelmoReset application;
	application.Run();
	return 0;
}
