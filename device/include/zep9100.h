/*
 * zep9100.h - device access library of the ZEP-9100 oscilloscope.
 *
 * The program binds these twelve functions by name (dlopen/dlsym on Linux,
 * LoadLibrary/GetProcAddress on Windows); the function-pointer types below
 * are what it casts the looked-up addresses to.
 *
 * Common rules:
 *  - Every function except Zep9100GetLastError returns a result whose low
 *    byte is non-zero on success (1) and zero on failure (0).
 *  - A failed call stores its error code word, readable with
 *    Zep9100GetLastError. Successful calls leave it unchanged.
 *  - Device numbers are the 16-bit values written by Zep9100Create,
 *    zero-extended to 32 bits. A number that is not open in this process
 *    fails with ZEP9100_ERR_INVALID_DEVICENO.
 *  - Buffers are always owned by the caller and are used only during the
 *    call. Out arguments are written only on success.
 *  - All functions are thread-safe. Calls on one device are executed one at
 *    a time in the order they take the device's command lock.
 *  - Notifications are posted through the Zep9100Notifier given to
 *    Zep9100Create, from a thread of the library (never from inside a call
 *    made by the program). The post function must not block and must not
 *    call Zep9100Close. After Zep9100Close returns nothing more is posted
 *    for that device.
 */
#ifndef ZEP9100_H
#define ZEP9100_H

#include <stdint.h>

#if defined(_WIN32)
#define ZEP9100_CALL __stdcall
#if defined(ZEP9100_BUILDING_LIBRARY)
#define ZEP9100_API __declspec(dllexport)
#else
#define ZEP9100_API __declspec(dllimport)
#endif
#else
#define ZEP9100_CALL
#if defined(ZEP9100_BUILDING_LIBRARY)
#define ZEP9100_API __attribute__((visibility("default")))
#else
#define ZEP9100_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error code word: bits 0-15 the major code below. For ZEP9100_ERR_DEVICE
 * bits 16-31 carry the instrument's minor code. For ZEP9100_ERR_SYSTEM the
 * operating system's error number (errno) is left in errno by the failing
 * call and is also carried in bits 16-31, so that it survives later calls
 * and failures reported from the library's own threads. */
#define ZEP9100_ERR_SYSTEM 1u           /* operating-system error */
#define ZEP9100_ERR_NO_DEVICE 2u        /* no instrument present */
#define ZEP9100_ERR_IN_USE 3u           /* every present instrument is open */
#define ZEP9100_ERR_INVALID_DEVICENO 4u /* device number not open */
#define ZEP9100_ERR_INVALID_ARGUMENT 5u /* null pointer or value out of range */
#define ZEP9100_ERR_INTERNAL 6u         /* library fault, malformed response */
#define ZEP9100_ERR_TRANSFER_TIMEOUT 7u /* the instrument did not answer in time */
#define ZEP9100_ERR_TRANSFER_CANCEL 8u  /* the call was cut short by Zep9100Close */
#define ZEP9100_ERR_TRANSFER_FAIL 9u    /* bulk transfer failed (instrument gone) */
#define ZEP9100_ERR_BUFF_OVERFLOW 10u   /* the instrument sent more than asked */
#define ZEP9100_ERR_MEMSIZE 11u         /* 1M record without the large memory */
#define ZEP9100_ERR_DEVICE 12u          /* the instrument refused; minor code in bits 16-31 */

#define ZEP9100_ERROR_MAJOR(word) ((uint32_t)(word)&0xFFFFu)
#define ZEP9100_ERROR_MINOR(word) ((uint32_t)(word) >> 16)

/* Minor codes of ZEP9100_ERR_DEVICE. */
#define ZEP9100_MINOR_UNKNOWN_COMMAND 1u
#define ZEP9100_MINOR_MALFORMED_COMMAND 2u
#define ZEP9100_MINOR_NO_TRIGGER_PHASE 5u /* the held record has no trigger phase */
#define ZEP9100_MINOR_ACQUISITION_FAILED 6u

/* Messages posted to the notifier, as messageBase + 1 and messageBase + 2
 * (1125 and 1126 with the usual base 1124), wParam the device number,
 * lParam always ZEP9100_NOTIFY_LPARAM. */
#define ZEP9100_MSG_DATA_OFFSET 1u   /* a record may be complete (may come early) */
#define ZEP9100_MSG_FAILED_OFFSET 2u /* the acquisition failed */
#define ZEP9100_NOTIFY_LPARAM 0xAB00

/* Sizes of the records passed by pointer. */
#define ZEP9100_DEVINFO_BYTES 26u
#define ZEP9100_MODE_WORDS 21u
#define ZEP9100_NO_SAMPLE 0xFFFFFFFFu

typedef struct Zep9100Notifier {
    void (*post)(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);
    void* context;
} Zep9100Notifier;

/* Driver version (from the driver's version query; 0x00010000 = 1.00) and
 * library version, one decimal digit per byte: byte 3 tens, byte 2 units,
 * byte 1 tenths, byte 0 hundredths. Both pointers must be valid. Needs a
 * present instrument to reach the driver: ZEP9100_ERR_NO_DEVICE otherwise. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetVersion(uint32_t* driverVersion,
                                                    uint32_t* libraryVersion);

/* Opens the first present instrument that is not open and writes its
 * number. window may be NULL (nothing is posted); the record is copied.
 * Fails with ZEP9100_ERR_NO_DEVICE when none is present and with
 * ZEP9100_ERR_IN_USE when every present one is open already. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100Create(uint16_t* deviceNo, Zep9100Notifier* window,
                                                uint32_t messageBase);

/* Stops any acquisition and releases the instrument. Calls on the same
 * device running in other threads fail with ZEP9100_ERR_TRANSFER_CANCEL. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100Close(uint32_t deviceNo);

/* 26-byte information block: bytes 0-7 model name (ASCII, NUL padded),
 * 8-19 serial number (ASCII), 20 hardware revision, 21 channel count,
 * 22 large memory fitted (0/1), 23 zero, 24 firmware version and 25 FPGA
 * version (value 123 reads 1.23). */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetDevInfo(uint32_t deviceNo,
                                                    uint8_t info[ZEP9100_DEVINFO_BYTES]);

/* Size of the large acquisition memory in samples (1,000,000), or 0 when it
 * is not fitted and records are limited to 100,000 samples. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetMemSize(uint32_t deviceNo, uint32_t* size);

/* Sends the 21-word mode record. Front-end words (V/div, position,
 * coupling, bandwidth) apply to the samples taken from now on, also while
 * sampling runs; the other words apply from the next start. A word out of
 * range fails with ZEP9100_ERR_INVALID_ARGUMENT, a 1M record without the
 * large memory with ZEP9100_ERR_MEMSIZE; the instrument then keeps its
 * previous mode. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100SetMode(uint32_t deviceNo,
                                                 const uint32_t mode[ZEP9100_MODE_WORDS]);

/* Arms one acquisition (roll mode: starts continuous sampling), discarding
 * the record held. startFlag 1: in trigger mode auto, wait the full auto
 * time-out for a trigger; 0: the previous record was auto-triggered, so
 * auto-trigger after a short wait. Other values: ZEP9100_ERR_INVALID_ARGUMENT. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100StartSampling(uint32_t deviceNo, uint32_t startFlag);

/* Halts the acquisition; the samples taken so far stay readable. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100StopSampling(uint32_t deviceNo);

/* status: 0 idle or failed, 1 pre-trigger, 2 waiting for a trigger, 3
 * trigger seen and its delay running, 6 triggered and filling, 7 triggered
 * and complete, 10 auto-triggered (roll: sampling) and filling, 11
 * auto-triggered and complete. count: samples held (roll: gathered since
 * the last Zep9100GetData, at most the record length). extra: records
 * completed since the instrument was opened. All three must be valid. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetStatus(uint32_t deviceNo, uint32_t* status,
                                                   uint32_t* count, uint32_t* extra);

/* Writes count sample words (CH1 code in bits 0-9, CH2 in bits 16-25;
 * ZEP9100_NO_SAMPLE where nothing was sampled) from record index 0. In roll
 * mode it returns the count oldest gathered samples, oldest first, and
 * removes them from the instrument. count may not exceed the record length
 * (ZEP9100_ERR_INVALID_ARGUMENT); words may be NULL only when count is 0. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetData(uint32_t deviceNo, uint32_t count,
                                                 uint32_t* words);

/* Trigger phase of the held record, 0-99: sample index P (the trigger
 * position) lies (phase - P mod 100) x 100 ps after the trigger in an
 * equivalent-time pass, phase/100 sampling intervals after it in a
 * real-time record. A record without a genuine trigger fails with
 * ZEP9100_ERR_DEVICE, minor ZEP9100_MINOR_NO_TRIGGER_PHASE. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetEquData(uint32_t deviceNo, uint32_t* phase);

/* Error code word of the last failed call in this process, or of the last
 * acquisition failure reported with message base + 2; 0 before any. */
ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetLastError(void);

typedef uint32_t(ZEP9100_CALL* Zep9100GetVersionFn)(uint32_t*, uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100CreateFn)(uint16_t*, Zep9100Notifier*, uint32_t);
typedef uint32_t(ZEP9100_CALL* Zep9100CloseFn)(uint32_t);
typedef uint32_t(ZEP9100_CALL* Zep9100GetDevInfoFn)(uint32_t, uint8_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100GetMemSizeFn)(uint32_t, uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100SetModeFn)(uint32_t, const uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100StartSamplingFn)(uint32_t, uint32_t);
typedef uint32_t(ZEP9100_CALL* Zep9100StopSamplingFn)(uint32_t);
typedef uint32_t(ZEP9100_CALL* Zep9100GetStatusFn)(uint32_t, uint32_t*, uint32_t*, uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100GetDataFn)(uint32_t, uint32_t, uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100GetEquDataFn)(uint32_t, uint32_t*);
typedef uint32_t(ZEP9100_CALL* Zep9100GetLastErrorFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEP9100_H */
