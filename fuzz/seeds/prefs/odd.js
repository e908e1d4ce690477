# older files may start with a hash comment
pref("mail.smtpservers", 'smtp2, smtp1');
sticky_pref("mail.smtpserver.smtp2.hostname", "mail.example.com") ;
user_pref("mail.smtpserver.smtp2.username", "first \"quoted\" \\ back\x41slash\n");
user_pref("broken.escape", "a\qb");
user_pref("cut.off", "no end
user_pref("number.negative", -42);
user_pref("flag", true); user_pref("two.on.one.line", "yes");
