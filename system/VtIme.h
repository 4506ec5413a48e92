// IME entry for the key-input fields: attaching the IME to the main window while a field allows
// double-byte text, the IME window messages, candidate lists from IMM32 or the text-services sink,
// reopening after activation and drawing the composition. Stands on IMM32 and TSF through the
// system function table, memory, the log, the pump, fonts and drawing.
#pragma once

#include <windows.h>
#include <cstdint>

#include "system/VtImeTsf.h"
#include "system/VtSystemNeighbours.h"

struct ITfThreadMgrEx;

namespace Vantrel {

const int ImeCompositionUnits = 1025;

struct ImeStateRecord {
    // kept across the start-up clear
    int32_t Attached;
    int32_t AlwaysOn;
    int32_t NoTextServices;
    HIMC SavedContext;
    // cleared at start-up
    int32_t Permitted;
    int32_t OpenStatus;
    int32_t Composing;
    wchar_t Composition[ImeCompositionUnits];
    wchar_t SavedComposition[ImeCompositionUnits];
    int32_t CompositionCursor;
    int32_t Clauses[1024];
    int32_t ClauseCount;
    uint8_t Attributes[1024];
    int32_t AttributeCount;
    uint8_t* CandidateList;  // CANDIDATELIST layout
    int32_t CandidateListSize;
    ITfThreadMgrEx* ThreadMgr;
    DWORD ClientId;
    VT_UIElementSink* Sink;
    DWORD SinkCookie;
    int32_t OpenCandidateElements;
    int32_t ReopenStep;
    int32_t OpenStatusGuard;
};

extern ImeStateRecord ImeState;

int Ime_RefreshEnabled(int force);
int Ime_RunReopenSteps();
int Ime_DrawComposition(int x, int y, int perPage, int drawCandidates);
int Ime_CaptureCandidateList(D_ITfCandidateListUIElement* element);
void Ime_FreeCandidateList();
// Clears the IME state except what survives start-up; detaches the window's context when not attached.
void Ime_ResetState();
int Ime_TextServices_Setup();
int Ime_TextServices_Remove();
// The candidate page the drawing shows: first candidate and the candidates per page after fitting
// (perPage + 1) lines of fontSize pixels plus margins into areaHeight.
void Ime_CandidatePage(int selection, int perPage, int fontSize, int areaHeight, int* pageStart, int* fittedPerPage);

}  // namespace Vantrel
