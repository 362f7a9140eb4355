#pragma once

// The Kernel Kit: threads, semaphores, ports, teams and time, with BeOS semantics.

#include <SupportDefs.h>

#define B_OS_NAME_LENGTH 32
#define B_INFINITE_TIMEOUT ((bigtime_t)INT64_MAX)

typedef int32 thread_id;
typedef int32 team_id;
typedef int32 sem_id;
typedef int32 port_id;

// Flags of the _etc calls.
enum {
	B_CAN_INTERRUPT = 0x01,
	B_CHECK_PERMISSION = 0x04,
	B_RELATIVE_TIMEOUT = 0x08,
	B_ABSOLUTE_TIMEOUT = 0x10,
	B_TIMEOUT = B_RELATIVE_TIMEOUT,
	B_DO_NOT_RESCHEDULE = 0x02,
};

// Thread priorities.
enum {
	B_LOW_PRIORITY = 5,
	B_NORMAL_PRIORITY = 10,
	B_DISPLAY_PRIORITY = 15,
	B_URGENT_DISPLAY_PRIORITY = 20,
	B_REAL_TIME_DISPLAY_PRIORITY = 100,
	B_URGENT_PRIORITY = 110,
	B_REAL_TIME_PRIORITY = 120,
};

// The time base of snooze_until: system_time().
enum {
	B_SYSTEM_TIMEBASE = 0,
};

typedef int32 (*thread_func)(void* data);

typedef enum {
	B_THREAD_RUNNING = 1,
	B_THREAD_READY,
	B_THREAD_RECEIVING,
	B_THREAD_ASLEEP,
	B_THREAD_SUSPENDED,
	B_THREAD_WAITING,
} thread_state;

typedef struct {
	thread_id thread;
	team_id team;
	char name[B_OS_NAME_LENGTH];
	thread_state state;
	int32 priority;
	sem_id sem;
	bigtime_t user_time;
	bigtime_t kernel_time;
	void* stack_base;
	void* stack_end;
} thread_info;

extern "C" {

// Time
bigtime_t system_time(void);
status_t snooze(bigtime_t microseconds);
status_t snooze_until(bigtime_t time, int timeBase);

// Threads
thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data);
status_t resume_thread(thread_id thread);
status_t suspend_thread(thread_id thread);
status_t wait_for_thread(thread_id thread, status_t* exitValue);
thread_id find_thread(const char* name);
status_t rename_thread(thread_id thread, const char* newName);
status_t set_thread_priority(thread_id thread, int32 newPriority);
// Fills in the id, team, name, state and priority; the other fields are 0.
status_t get_thread_info(thread_id thread, thread_info* info);

// Semaphores
sem_id create_sem(int32 count, const char* name);
status_t delete_sem(sem_id sem);
status_t acquire_sem(sem_id sem);
status_t acquire_sem_etc(sem_id sem, int32 count, uint32 flags, bigtime_t timeout);
status_t release_sem(sem_id sem);
status_t release_sem_etc(sem_id sem, int32 count, uint32 flags);
status_t get_sem_count(sem_id sem, int32* threadCount);

// Ports
port_id create_port(int32 capacity, const char* name);
status_t delete_port(port_id port);
status_t write_port(port_id port, int32 code, const void* buffer, size_t bufferSize);
status_t write_port_etc(port_id port, int32 code, const void* buffer, size_t bufferSize,
	uint32 flags, bigtime_t timeout);
ssize_t read_port(port_id port, int32* code, void* buffer, size_t bufferSize);
ssize_t read_port_etc(port_id port, int32* code, void* buffer, size_t bufferSize, uint32 flags,
	bigtime_t timeout);
ssize_t port_buffer_size(port_id port);
ssize_t port_buffer_size_etc(port_id port, uint32 flags, bigtime_t timeout);
ssize_t port_count(port_id port);

// Teams: a team is a running program with all its threads (on Linux, a process).
status_t kill_team(team_id team);

}
