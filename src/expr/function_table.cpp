// The builtin function table, one row per function in index order: name,
// minimum and maximum argument count (-1: any), result type, and whether the
// result type is the property's (GetProp).
#include "expr/function_table.h"

#include "core/sjis.h"

namespace nova::expr {

const std::array<TSysFuncInfo, kSysFuncCount> kSysFuncs = {{
    {"IntToStr", 1, 2, PT_STR, false},             // 0
    {"IntToHex", 2, 2, PT_STR, false},             // 1
    {"GetProp", 2, 2, PT_NONE, true},              // 2
    {"SetProp", 3, 3, PT_STR, false},              // 3
    {"GetArraySize", 1, 2, PT_INT, false},         // 4
    {"Length", 1, 1, PT_INT, false},               // 5
    {"JLength", 1, 1, PT_INT, false},              // 6
    {"Copy", 2, 3, PT_STR, false},                 // 7
    {"JCopy", 2, 3, PT_STR, false},                // 8
    {"Delete", 2, 3, PT_NONE, false},              // 9
    {"JDelete", 2, 3, PT_NONE, false},             // 10
    {"Insert", 3, 3, PT_NONE, false},              // 11
    {"JInsert", 3, 3, PT_NONE, false},             // 12
    {"CompareStr", 2, 2, PT_INT, false},           // 13
    {"CompareText", 2, 2, PT_INT, false},          // 14
    {"Pos", 2, 2, PT_INT, false},                  // 15
    {"JPos", 2, 2, PT_INT, false},                 // 16
    {"Trim", 1, 1, PT_STR, false},                 // 17
    {"JTrim", 1, 1, PT_STR, false},                // 18
    {"Exists", 1, 1, PT_BOOL, false},              // 19
    {"Not", 1, 1, PT_BOOL, false},                 // 20
    {"SetArray", 2, -1, PT_NONE, false},           // 21
    {"FillMem", 2, 2, PT_NONE, false},             // 22
    {"CopyMem", 2, 2, PT_NONE, false},             // 23
    {"GetCheck", 2, 2, PT_BOOL, false},            // 24
    {"SetCheck", 3, 3, PT_INT, false},             // 25
    {"Random", 1, 1, PT_INT, false},               // 26
    {"GetSaveCaption", 1, 1, PT_STR, false},       // 27
    {"ArrayToString", 1, 2, PT_STR, false},        // 28
    {"StringToArray", 2, 3, PT_NONE, false},       // 29
    {"IndexOfStr", 2, 4, PT_INT, false},           // 30
    {"SortStr", 1, 1, PT_NONE, false},             // 31
    {"ListCompo", 1, 3, PT_INT, false},            // 32
    {"ToClientX", 2, 2, PT_INT, false},            // 33
    {"ToClientY", 2, 2, PT_INT, false},            // 34
    {"ToScreenX", 2, 2, PT_INT, false},            // 35
    {"ToScreenY", 2, 2, PT_INT, false},            // 36
    {"Int", 1, 1, PT_INT, false},                  // 37
    {"Float", 1, 1, PT_FLOAT, false},              // 38
    {"Sin", 1, 1, PT_FLOAT, false},                // 39
    {"Cos", 1, 1, PT_FLOAT, false},                // 40
    {"Tan", 1, 1, PT_FLOAT, false},                // 41
    {"ArcSin", 1, 1, PT_FLOAT, false},             // 42
    {"ArcCos", 1, 1, PT_FLOAT, false},             // 43
    {"ArcTan", 1, 1, PT_FLOAT, false},             // 44
    {"ArcTan2", 2, 2, PT_FLOAT, false},            // 45
    {"Hypot", 2, 2, PT_FLOAT, false},              // 46
    {"IndexOfMenu", 2, 2, PT_INT, false},          // 47
    {"Abs", 1, 1, PT_INT, false},                  // 48
    {"Fabs", 1, 1, PT_FLOAT, false},               // 49
    {"VarExists", 1, 1, PT_BOOL, false},           // 50
    {"EncodeDate", 3, 3, PT_FLOAT, false},         // 51
    {"EncodeTime", 3, 3, PT_FLOAT, false},         // 52
    {"DecodeDate", 4, 4, PT_INT, false},           // 53
    {"DecodeTime", 4, 4, PT_INT, false},           // 54
    {"GetYear", 1, 1, PT_INT, false},              // 55
    {"GetMonth", 1, 1, PT_INT, false},             // 56
    {"GetDay", 1, 1, PT_INT, false},               // 57
    {"GetHour", 1, 1, PT_INT, false},              // 58
    {"GetMin", 1, 1, PT_INT, false},               // 59
    {"GetSec", 1, 1, PT_INT, false},               // 60
    {"GetWeek", 1, 1, PT_INT, false},              // 61
    {"GetWeekStr", 1, 1, PT_STR, false},           // 62
    {"GetWeekJStr", 1, 1, PT_STR, false},          // 63
    {"FixStr", 1, 1, PT_STR, false},               // 64
    {"GetDisplayMode", 5, 5, PT_BOOL, false},      // 65
    {"AddArray", 2, 2, PT_INT, false},             // 66
    {"InsertArray", 3, 3, PT_INT, false},          // 67
    {"DeleteArray", 3, 3, PT_INT, false},          // 68
    {"InPrimary", 1, 1, PT_BOOL, false},           // 69
    {"CopyArray", 2, 2, PT_BOOL, false},           // 70
    {"FileExists", 1, 1, PT_BOOL, false},          // 71
    {"LoadTextFile", 2, 2, PT_BOOL, false},        // 72
    {"LowerCase", 1, 1, PT_STR, false},            // 73
    {"UpperCase", 1, 1, PT_STR, false},            // 74
    {"ExtractFilePath", 1, 1, PT_STR, false},      // 75
    {"ExtractFileName", 1, 1, PT_STR, false},      // 76
    {"ExtractFileExt", 1, 1, PT_STR, false},       // 77
    {"IsPathDelimiter", 2, 2, PT_BOOL, false},     // 78
    {"AddBackSlash", 1, 1, PT_STR, false},         // 79
    {"ChangeFileExt", 2, 2, PT_STR, false},        // 80
    {"IsDelimiter", 3, 3, PT_BOOL, false},         // 81
    {"StringOfChar", 2, 2, PT_STR, false},         // 82
    {"StringReplace", 3, 5, PT_STR, false},        // 83
    {"AssignTemp", 1, 1, PT_BOOL, false},          // 84
    {"HanToZen", 1, 1, PT_STR, false},             // 85
    {"ZenToHan", 1, 1, PT_STR, false},             // 86
    {"DBCreateTable", 2, 2, PT_BOOL, false},       // 87
    {"DBSetActive", 1, 1, PT_BOOL, false},         // 88
    {"DBAddField", 2, 3, PT_BOOL, false},          // 89
    {"DBSetRecNo", 1, 1, PT_BOOL, false},          // 90
    {"DBInsert", 0, -1, PT_BOOL, false},           // 91
    {"DBDelete", 0, 0, PT_BOOL, false},            // 92
    {"DBGetInt", 1, 1, PT_INT, false},             // 93
    {"DBSetInt", 2, 2, PT_BOOL, false},            // 94
    {"DBGetFloat", 1, 1, PT_FLOAT, false},         // 95
    {"DBSetFloat", 2, 2, PT_BOOL, false},          // 96
    {"DBGetBool", 1, 1, PT_BOOL, false},           // 97
    {"DBSetBool", 2, 2, PT_BOOL, false},           // 98
    {"DBGetStr", 1, 1, PT_STR, false},             // 99
    {"DBSetStr", 2, 2, PT_BOOL, false},            // 100
    {"DBRecordCount", 0, 1, PT_INT, false},        // 101
    {"DBFindFirst", 0, 0, PT_BOOL, false},         // 102
    {"DBFindLast", 0, 0, PT_BOOL, false},          // 103
    {"DBFindNext", 0, 0, PT_BOOL, false},          // 104
    {"DBFindPrior", 0, 0, PT_BOOL, false},         // 105
    {"DBLocate", 2, 4, PT_BOOL, false},            // 106
    {"DBLoadTsvFile", 1, 1, PT_BOOL, false},       // 107
    {"DBDirectGetInt", 7, 7, PT_INT, false},       // 108
    {"DBDirectSetInt", 7, 7, PT_BOOL, false},      // 109
    {"DBDirectGetFloat", 7, 7, PT_FLOAT, false},   // 110
    {"DBDirectSetFloat", 7, 7, PT_BOOL, false},    // 111
    {"DBDirectGetBool", 7, 7, PT_BOOL, false},     // 112
    {"DBDirectSetBool", 7, 7, PT_BOOL, false},     // 113
    {"DBDirectGetStr", 7, 7, PT_STR, false},       // 114
    {"DBDirectSetStr", 7, 7, PT_BOOL, false},      // 115
    {"DBCopyTable", 1, 5, PT_BOOL, false},         // 116
    {"DBDeleteTable", 0, 1, PT_BOOL, false},       // 117
    {"DBInsertTable", 1, 5, PT_BOOL, false},       // 118
    {"DBCopy", 1, 1, PT_BOOL, false},              // 119
    {"DBClearTable", 0, 0, PT_BOOL, false},        // 120
    {"DBSort", 2, 2, PT_BOOL, false},              // 121
    {"DBGetActive", 0, 0, PT_STR, false},          // 122
    {"DBGetRecNo", 0, 1, PT_INT, false},           // 123
    {"DBClearRecord", 0, 1, PT_BOOL, false},       // 124
    {"SetWallPaper", 2, 2, PT_BOOL, false},        // 125
    {"Min", 2, 2, PT_INT, false},                  // 126
    {"Max", 2, 2, PT_INT, false},                  // 127
    {"Fmin", 2, 2, PT_FLOAT, false},               // 128
    {"Fmax", 2, 2, PT_FLOAT, false},               // 129
    {"GetVarType", 1, 1, PT_INT, false},           // 130
    {"GetEnabled", 2, 2, PT_BOOL, false},          // 131
    {"SetEnabled", 3, 3, PT_INT, false},           // 132
    {"AddDelimiter", 2, 2, PT_STR, false},         // 133
    {"ListSaveCaption", 0, 2, PT_INT, false},      // 134
    {"OpenUrl", 1, 1, PT_BOOL, false},             // 135
    {"Calc", 1, 1, PT_STR, false},                 // 136
    {"SaveScreen", 1, 5, PT_BOOL, false},          // 137
    {"StrToIntDef", 2, 2, PT_INT, false},          // 138
    {"StrToFloatDef", 2, 2, PT_FLOAT, false},      // 139
    {"GetVisible", 2, 2, PT_BOOL, false},          // 140
    {"SetVisible", 3, 3, PT_BOOL, false},          // 141
    {"GetHistoryCount", 1, 1, PT_INT, false},      // 142
    {"GetHistoryMaxCount", 1, 1, PT_INT, false},   // 143
    {"SetHistoryMaxCount", 2, 2, PT_BOOL, false},  // 144
    {"GetGroupIndex", 2, 2, PT_INT, false},        // 145
    {"GetSelected", 2, 2, PT_BOOL, false},         // 146
    {"SetSelected", 3, 3, PT_BOOL, false},         // 147
    {"SelectOpenFile", 1, 2, PT_BOOL, false},      // 148
    {"SelectSaveFile", 1, 2, PT_BOOL, false},      // 149
    {"SelectDirectory", 1, 1, PT_BOOL, false},     // 150
    {"ExtractFile", 1, 3, PT_BOOL, false},         // 151
    {"Chr", 1, 1, PT_STR, false},                  // 152
    {"Ord", 1, 1, PT_INT, false},                  // 153
    {"InCabinet", 1, 1, PT_BOOL, false},           // 154
    {"PushVar", 1, -1, PT_BOOL, false},            // 155
    {"PopVar", 0, 0, PT_BOOL, false},              // 156
    {"DeleteStack", 1, 1, PT_BOOL, false},         // 157
    {"CopyFile", 2, 2, PT_BOOL, false},            // 158
}};

std::optional<int> find_sys_func(std::string_view name) {
  for (int i = 0; i < kSysFuncCount; ++i) {
    if (core::equal_ci(kSysFuncs[static_cast<std::size_t>(i)].name, name)) return i;
  }
  return std::nullopt;
}

}  // namespace nova::expr
