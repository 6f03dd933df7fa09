#pragma once
// The application framework: everything the system's classes derive from and call.
#include "framework/AfxString.h"
#include "framework/AfxFileFind.h"
#include "framework/AfxObject.h"
#include "framework/AfxMsgMap.h"
#include "framework/AfxWnd.h"
#include "framework/AfxDdx.h"
#include "framework/AfxDialog.h"
#include "framework/AfxOcc.h"
#include "framework/AfxApp.h"
