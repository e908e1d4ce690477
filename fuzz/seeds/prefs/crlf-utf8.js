user_pref("mail.smtp.defaultserver", "smtp9");
user_pref("mail.smtpserver.smtp9.hostname", "hést");
