/*
 * Whether the ESU update applies to this machine: the operating system must
 * be Windows 7 (workstation 6.1) or Windows Server 2008 / 2008 R2 (any other
 * product type, 6.0 or 6.1), and the local date must lie within the ESU
 * coverage, which begins on 1 January 2020 and has no end.
 *
 * Both inputs have a seam, so that a test can decide applicability for any
 * machine and any day: SetOsFactsSource replaces the operating system's
 * answer, SetEsuDateSource the local date. A null source restores the real
 * one.
 */
#ifndef TOOL_APPLICABILITY_H
#define TOOL_APPLICABILITY_H

#include <stdint.h>

#include "platform/osinfo.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Kinds of operating system (GetOSKind). */
#define OS_KIND_NOT_COVERED 0
#define OS_KIND_WINDOWS_7 1
#define OS_KIND_SERVER_2008 2 /* 2008 or 2008 R2 */

/*
 * Reads the six facts. Returns 0 when every query succeeded, 1 when one
 * failed (logged at error level; the outputs keep their values). With `log`
 * non-zero the facts are logged at info level on success.
 */
int GetOSInformation(uint32_t* majorVersion, uint32_t* minorVersion, uint32_t* buildNumber, uint16_t* productType,
                     uint32_t* edition, uint16_t* processorArchitecture, int log);

/* The OS kind of this machine; logs its facts. */
int GetOSKind(void);

/* The ESU year of the current local date: 0 before the coverage, else 1, 2
 * or 3. A date that cannot be determined counts as year 1. */
int GetESUYear(void);

/* 1 when the update applies, else 0; logs the facts and the reason. */
int IsESUApplicable(void);

/* The classification and the calendar rule on their own. */
int ClassifyOSKind(uint32_t majorVersion, uint32_t minorVersion, uint16_t productType);
int ESUYearOfDate(int year, int month, int day);

/* Seams. An OS-facts source answers as PlatGetOsFacts does; a date source
 * fills the local calendar date and returns 1, or returns 0 when the date
 * cannot be determined. */
typedef PlatOsStep (*OsFactsSource)(PlatOsFacts* facts, uint32_t* error);
typedef int (*EsuDateSource)(int* year, int* month, int* day);
void SetOsFactsSource(OsFactsSource source);
void SetEsuDateSource(EsuDateSource source);

#ifdef __cplusplus
}
#endif
#endif
