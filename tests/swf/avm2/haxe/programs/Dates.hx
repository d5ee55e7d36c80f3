// Dates in local time: construction, the getters, day of week, month and year rollover,
// Date.fromString, DateTools arithmetic and formatting, and differences between dates.
// Every date is made and read in local time, so the answer is the same in any time zone apart
// from the instants a clock change skips or repeats; none is used here. Left out: Date.now and
// getTime/fromTime, which depend on the zone.

class Dates {
	static function show(d:Date):String
		return DateTools.format(d, "%Y-%m-%d %H:%M:%S") + " day " + d.getDay();

	static function main() {
		var d = new Date(2024, 1, 29, 13, 45, 30);
		trace(d.getFullYear() + " " + d.getMonth() + " " + d.getDate() + " " + d.getHours() + " " + d.getMinutes() + " " + d.getSeconds() + " " + d.getDay());
		trace(d.toString());
		trace(show(d));
		trace(DateTools.format(d, "%d/%m/%y %I:%M %p"));
		trace(DateTools.format(d, "%A %a %B %b %e|%D|%T|%F|%R|%%"));
		trace(show(new Date(2023, 11, 31, 23, 59, 59)));
		trace(show(new Date(2000, 0, 1, 0, 0, 0)));
		trace(show(new Date(1999, 11, 31, 12, 0, 0)));
		trace(show(new Date(2100, 2, 1, 6, 7, 8)));

		// Out-of-range fields roll over into the next unit.
		trace(show(new Date(2023, 12, 1, 0, 0, 0)));
		trace(show(new Date(2023, 1, 29, 0, 0, 0)));
		trace(show(new Date(2024, 0, 31, 25, 61, 61)));

		var p = Date.fromString("2024-07-04 09:08:07");
		trace(show(p));
		var q = Date.fromString("1970-01-02");
		trace(show(q));

		trace(DateTools.getMonthDays(new Date(2024, 1, 1, 0, 0, 0)) + " " + DateTools.getMonthDays(new Date(2023, 1, 1, 0, 0, 0)) + " "
			+ DateTools.getMonthDays(new Date(1900, 1, 1, 0, 0, 0)) + " " + DateTools.getMonthDays(new Date(2000, 1, 1, 0, 0, 0)));
		var span = new Date(2024, 2, 1, 12, 0, 0).getTime() - new Date(2024, 1, 1, 12, 0, 0).getTime();
		trace(span / DateTools.days(1));
		trace(DateTools.hours(2) + " " + DateTools.minutes(3) + " " + DateTools.seconds(4) + " " + DateTools.make({
			ms: 5,
			seconds: 4,
			minutes: 3,
			hours: 2,
			days: 1
		}));
		var parts = DateTools.parse(DateTools.days(3) + DateTools.hours(4) + DateTools.minutes(5) + DateTools.seconds(6) + 7);
		trace(parts.days + " " + parts.hours + " " + parts.minutes + " " + parts.seconds + " " + parts.ms);
		var later = DateTools.delta(new Date(2024, 1, 28, 12, 0, 0), DateTools.days(2));
		trace(show(later));

		var weekdays = [for (m in 0...12) new Date(2025, m, 1, 12, 0, 0).getDay()];
		trace(weekdays);
		var fridays13 = [];
		for (y in 2020...2027)
			for (m in 0...12)
				if (new Date(y, m, 13, 12, 0, 0).getDay() == 5)
					fridays13.push(y + "-" + (m + 1));
		trace(fridays13);
		var a = new Date(2024, 5, 1, 0, 0, 0), b = new Date(2024, 5, 1, 0, 0, 1);
		trace((a.getTime() < b.getTime()) + " " + (b.getTime() - a.getTime()));
	}
}
