/* Resource ids of the conformance tests. */
#ifndef CONFORMANCE_IDS_H
#define CONFORMANCE_IDS_H

#define IDR_TEST_DATA 200

#endif
