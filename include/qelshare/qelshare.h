// Umbrella header: every exported class of libqelshare.
#ifndef QELSHARE_QELSHARE_H_
#define QELSHARE_QELSHARE_H_

#include "qelshare/CAnalyseExpression.h"
#include "qelshare/CBkMidi.h"
#include "qelshare/CExpStack.h"
#include "qelshare/CLineBuf.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/CQel2000.h"
#include "qelshare/CStringArr.h"
#include "qelshare/config.h"
#include "qelshare/storage.h"
#include "qelshare/types.h"
#include "qelshare/version.h"
#if QELSHARE_WINDOWS
#include "qelshare/CCtrlSizeWnd.h"
#include "qelshare/CCtrlWnd.h"
#include "qelshare/CEditListCtrl.h"
#include "qelshare/CSmallButton.h"
#include "qelshare/CTransparentImg.h"
#include "qelshare/window.h"
#endif

#endif  // QELSHARE_QELSHARE_H_
