// tools/commands.h - the command families of zrtool, one source file each.
//
// Each takes the arguments after its family's name and returns the exit
// status (0 success, 1 failure of the work, 2 wrong usage); "--help" as its
// first argument prints its help on standard output and returns 0.
#pragma once

int ParamsCommand(int argc, char** argv);  // tools/params_cmd.cpp
int RegCommand(int argc, char** argv);     // tools/reg_cmd.cpp
int ResCommand(int argc, char** argv);     // tools/res_cmd.cpp
int DictCommand(int argc, char** argv);    // tools/dict_cmd.cpp
// tools/cfb.cpp; its arguments start with the family's name ("cfb").
int CfbMain(int argc, char** argv);
// tools/cfb_meta.cpp: "cfb meta"; its arguments start with "meta".
int CfbMeta(int argc, char** argv);
