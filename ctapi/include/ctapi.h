/* CT-API for the Halvane card terminal (Brantel, BRANTEL.so).
 *
 * Load the library by file name and look the four functions up by name, or link against it.
 * Calling order: CT_init, any number of CT_data, CT_close. One terminal at a time per process;
 * the functions are not re-entrant: use them from one thread at a time.
 */
#ifndef BRANTEL_CTAPI_H
#define BRANTEL_CTAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* The calling convention of the four functions: the Windows API convention (__stdcall, the
 * callee removes the arguments) on Windows, for the library and its applications alike; the
 * platform's C convention elsewhere. A build may define CTAPI_CALL itself. */
#ifndef CTAPI_CALL
#ifdef _WIN32
#define CTAPI_CALL __stdcall
#else
#define CTAPI_CALL
#endif
#endif

/* Marks the four functions as exported when the library itself is built. */
#ifndef CTAPI_EXPORT
#if defined(BRANTEL_BUILDING) && defined(__GNUC__)
#define CTAPI_EXPORT __attribute__((visibility("default")))
#else
#define CTAPI_EXPORT
#endif
#endif

typedef signed char IS8;
typedef unsigned char IU8;
typedef unsigned short IU16;
typedef signed short IS16;

/* Return codes. */
#define OK 0
#define ERR_INVALID (-1)
#define ERR_CT (-8)
#define ERR_TRANS (-10)
#define ERR_MEMORY (-11)

/* Addresses (destination and source of CT_data). */
#define CTAPI_ADDR_ICC1 0 /* the first card slot */
#define CTAPI_ADDR_CT 1   /* the terminal itself */
#define CTAPI_ADDR_HOST 2
#define CTAPI_ADDR_REMOTE_HOST 5
#define CTAPI_ADDR_ICC_LAST 14 /* card slots 2 to 14 have addresses 2..14 as destination */

/* Opens terminal number ctn (the caller's choice) on COM port pn, or on the first Halvane
 * terminal found when pn is 0. */
CTAPI_EXPORT IS8 CTAPI_CALL CT_init(IU16 ctn, IU16 pn);

/* Sends one command to destination *dad from source *sad and returns the response.
 * *lenr: size of response on entry, length of the response on return.
 * On OK, *dad and *sad hold the addresses of the response (normally 2 and the answering unit).
 * Commands are at most 512 bytes; responses at most 4096. */
CTAPI_EXPORT IS8 CTAPI_CALL CT_data(IU16 ctn, IU8* dad, IU8* sad, IU16 lenc, IU8* command,
                                    IU16* lenr, IU8* response);

/* Closes terminal number ctn (sends the terminal a reset first). */
CTAPI_EXPORT IS8 CTAPI_CALL CT_close(IU16 ctn);

/* Copies the library's version text (19 bytes with the terminating zero) into buffer for the
 * selectors 1, 2 and 3 and returns 1; returns 0 otherwise. */
CTAPI_EXPORT IU16 CTAPI_CALL Get_VersionString(char* buffer, IS16 selector);

/* Function types for applications that look the functions up by name. */
typedef IS8(CTAPI_CALL* CT_init_fn)(IU16, IU16);
typedef IS8(CTAPI_CALL* CT_data_fn)(IU16, IU8*, IU8*, IU16, IU8*, IU16*, IU8*);
typedef IS8(CTAPI_CALL* CT_close_fn)(IU16);
typedef IU16(CTAPI_CALL* Get_VersionString_fn)(char*, IS16);

#ifdef __cplusplus
}
#endif

#endif /* BRANTEL_CTAPI_H */
