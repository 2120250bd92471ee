#pragma once
// The reference-counted base lives with the texture references that define it.
#include <qcore/texture/my_com.h>
