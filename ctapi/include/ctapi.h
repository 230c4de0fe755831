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
 * terminal found when pn is 0, and resets the terminal.
 *
 * Returns OK          when the terminal is open and answered its reset with 95 00.
 * Returns ERR_INVALID when ctn is already the open terminal's number (which stays open), or,
 *                     leaving nothing open, when pn names no present Halvane terminal port,
 *                     when no terminal was found (pn 0), when the port could not be opened or
 *                     set up, when the terminal did not answer its reset with 95 00, or when
 *                     the device monitor could not be started.
 * Returns ERR_CT      when another terminal number is open (which stays usable), or when the
 *                     terminal's port is held by another program. */
CTAPI_EXPORT IS8 CTAPI_CALL CT_init(IU16 ctn, IU16 pn);

/* Sends one command to destination *dad from source *sad and returns the response.
 * *lenr: size of response on entry, length of the response on return.
 * Commands are at most 512 bytes; responses at most 4096. Every 5-byte command first purges
 * the port; RESET CT (20 11 00 00 00) to the terminal reopens the port after an unplug.
 *
 * Returns OK          when the response is in response[0..*lenr), with *dad and *sad holding
 *                     its addresses (normally 2 and the answering unit).
 * Returns ERR_INVALID when ctn is not the open terminal's number, when a pointer is null, when
 *                     lenc is below 4 or *lenr below 2, when *sad is neither 2 nor 5 or *dad
 *                     is above 14 (then *dad is set to 2 and *sad to 1), or when the exchange
 *                     with card slot 2 to 14 failed.
 * Returns ERR_TRANS   when the terminal was unplugged (until a RESET CT reconnects), when the
 *                     reconnect failed, or when the exchange with the terminal (destination 1)
 *                     or the first card slot (destination 0) failed: no answer in time, a
 *                     damaged block, a sequence error, or the terminal asking for a block again
 *                     more than three times.
 * Returns ERR_MEMORY  when lenc is above 512, when the response is longer than *lenr (nothing
 *                     is copied; *dad, *sad and *lenr stay as they were), or when the terminal
 *                     reported a memory error. */
CTAPI_EXPORT IS8 CTAPI_CALL CT_data(IU16 ctn, IU8* dad, IU8* sad, IU16 lenc, IU8* command,
                                    IU16* lenr, IU8* response);

/* Closes terminal number ctn: sends the terminal a reset (its answer does not matter), closes
 * the port and stops the device monitor.
 *
 * Returns OK          when ctn was the open terminal's number (also when the terminal did not
 *                     answer the reset).
 * Returns ERR_INVALID when ctn is not the open terminal's number; nothing changes. */
CTAPI_EXPORT IS8 CTAPI_CALL CT_close(IU16 ctn);

/* Copies the library's version text "Ver 1.09 - Halvane" (19 bytes with the terminating zero)
 * into buffer.
 *
 * Returns 1 when selector is 1, 2 or 3 and buffer is not null (the text was copied).
 * Returns 0 otherwise; buffer is left untouched. */
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
